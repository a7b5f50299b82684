// The main window's handlers, on the test double of the forms runtime.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "main_window/form_region.h"
#include "main_window/shaped_form.h"
#include "platform/fake/fake_forms.h"
#include "platform/fake/fake_ras.h"
#include "platform/label_text.h"

namespace {

using fake::Handle;

using main_window::ShapedForm;

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Ras() = {};
    fake::Ras().connections = {{Handle(1), "Modem"}};
  }
  void Load() { runtime.Show(form); }
  std::string Text(int control) { return runtime.Text(form, control); }
  std::vector<std::string> CallNames() const {
    std::vector<std::string> names;
    for (const auto& c : windows.calls) names.push_back(c.name);
    return names;
  }
  const fake::WindowCall& Call(const std::string& name) const {
    for (const auto& c : windows.calls)
      if (c.name == name) return c;
    throw std::runtime_error("no call " + name);
  }

  fake::Runtime runtime;
  fake::WindowSystem windows;
  fake::AddressSource winsock;
  ShapedForm form{runtime, windows, winsock};
};

// --- Start-up and the window's shape ---

TEST_F(MainWindow, LoadsWithItsDesignCaptionsAndAnEllipticRegion) {
  Load();
  EXPECT_EQ(Text(ShapedForm::lblTime), "VREME");
  EXPECT_EQ(Text(ShapedForm::Label2), "IP adresa");
  EXPECT_EQ(Text(ShapedForm::Text1), "");
  EXPECT_EQ(CallNames(), (std::vector<std::string>{"CreateRectRgn", "CreateEllipticRgn",
                                                   "CombineRgn", "DeleteObject", "SetWindowRgn"}));
  EXPECT_EQ(Call("CreateRectRgn").args, (std::vector<long long>{0, 0, 0, 0, 1}));
  EXPECT_EQ(Call("CreateEllipticRgn").args, (std::vector<long long>{25, 23, 483, 335, 2}));
  // FormRegion becomes a copy of the ellipse, the ellipse is deleted, and the
  // window is handed FormRegion, which is then the window's: not deleted.
  EXPECT_EQ(Call("CombineRgn").args, (std::vector<long long>{1, 2, 2, 5}));
  EXPECT_EQ(Call("DeleteObject").args, (std::vector<long long>{2}));
  const auto& set = Call("SetWindowRgn").args;
  EXPECT_EQ(set[0], reinterpret_cast<std::intptr_t>(runtime.hWnd(form)));
  EXPECT_EQ(set[1], 1);
  EXPECT_EQ(set[2], 1);
  EXPECT_EQ(windows.liveRegions, (std::vector<long long>{1}));
}

TEST_F(MainWindow, RegionFollowsTheScreensTwipsPerPixel) {
  runtime.twipsPerPixelX = runtime.twipsPerPixelY = 12;  // 120 dots per inch
  Load();
  EXPECT_EQ(Call("CreateEllipticRgn").args, (std::vector<long long>{31, 29, 604, 419, 2}));
}

// Each corner rounds each step to single precision, halves to the even
// neighbour, with a usable screen density, within the 32-bit range.
TEST(EllipseCorners, RoundEachStepAndHoldToTheirRange) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max(), kMin = -kMax - 1;
  struct Case {
    float scaleX, scaleY;
    std::int16_t offsetX, offsetY;
    float tpp;
    std::vector<std::int32_t> corners;
  } const cases[] = {
      {1, 1, 0, 0, 30, {12, 12, 242, 168}},       // 12.5, 11.5, 241.5, 167.5: halves
      {1, 1, 0, 0, 12, {31, 29, 604, 419}},       // 31.25, 28.75, 603.75, 418.75
      {2, 0.5f, -10, 7, 15, {40, 18, 956, 174}},  // per axis; 18.5 and 174.5 to even
      {1, 1, 0, 0, 0, {25, 23, 483, 335}},        // unusable densities: the design's
      {1, 1, 0, 0, -15, {25, 23, 483, 335}},
      {1, 1, 0, 0, kNaN, {25, 23, 483, 335}},
      {1, 1, 0, 0, kInf, {25, 23, 483, 335}},
      {1e30f, -1e30f, 0, 0, 15, {kMax, kMin, kMax, kMin}},
      // The 32-bit build computes on the x87 unit, whose registers hold more
      // than a float: kept wide, these corners would be 975 and 911.
      {0x1.a5af38p+0f, 0x1.1341ep+1f, -19, 10, 12, {32, 72, 976, 910}},
  };
  for (const Case& c : cases) {
    const auto e =
        main_window::ComputeEllipseCorners(c.scaleX, c.scaleY, c.offsetX, c.offsetY, c.tpp, c.tpp);
    EXPECT_EQ((std::vector{e.x1, e.y1, e.x2, e.y2}), c.corners) << c.scaleX << " at " << c.tpp;
  }
}

TEST_F(MainWindow, PressOnTheSurfaceHandsTheMoveToTheWindowSystem) {
  Load();
  windows.calls.clear();
  form.Form_MouseDown(2, 1, 300, 400);  // any button, any shift state, anywhere
  ASSERT_EQ(CallNames(), (std::vector<std::string>{"ReleaseCapture", "SendMessageA"}));
  EXPECT_EQ(
      Call("SendMessageA").args,
      (std::vector<long long>{reinterpret_cast<std::intptr_t>(runtime.hWnd(form)), 0xA1, 2, 0}));
}

TEST_F(MainWindow, UnloadKeepsTheRegionForTheWindowSystemToRelease) {
  Load();
  runtime.Close(form);
  EXPECT_FALSE(runtime.windows[&form].loaded);
  // Only the ellipse (2) was ever deleted; FormRegion (1) is the window's.
  std::vector<long long> deleted;
  for (const auto& c : windows.calls)
    if (c.name == "DeleteObject") deleted.push_back(c.args[0]);
  EXPECT_EQ(deleted, (std::vector<long long>{2}));
  EXPECT_EQ(windows.liveRegions, (std::vector<long long>{1}));
}

// --- Buttons ---

TEST_F(MainWindow, DisconnectHangsUpOnEveryPress) {
  Load();
  fake::Ras().connections = {{Handle(1), "Modem", false}, {Handle(2), ""}};
  form.Click(ShapedForm::Command1);
  form.Click(ShapedForm::Command1);
  EXPECT_EQ(fake::Ras().hangUps, (std::vector{Handle(1), Handle(1)}));
  EXPECT_EQ(Text(ShapedForm::Label2), "IP adresa");  // nothing on screen reports it
}

TEST_F(MainWindow, MinimizeAndExitAskTheRuntime) {
  Load();
  form.Click(ShapedForm::Command4);
  EXPECT_EQ(runtime.windows[&form].state, forms::WindowState::Minimized);
  EXPECT_FALSE(runtime.ended);
  form.Click(ShapedForm::Command2);
  EXPECT_TRUE(runtime.ended);
  EXPECT_TRUE(runtime.windows[&form].loaded);  // ended at once, not unloaded
}

TEST_F(MainWindow, AddressButtonReadsTheAddressAfreshOnEachPress) {
  Load();
  winsock.address = "10.64.0.5";
  form.Click(ShapedForm::Command5);
  EXPECT_EQ(Text(ShapedForm::Label2), "10.64.0.5");
  winsock.address = "192.0.2.77";
  form.Click(ShapedForm::Command5);
  EXPECT_EQ(Text(ShapedForm::Label2), "192.0.2.77");
  EXPECT_EQ(winsock.reads, 2);
}

TEST_F(MainWindow, AboutWindowOpensOnceAndOkBringsTheMainWindowBack) {
  Load();
  about::Form1& about = form.AboutWindow();
  form.Click(ShapedForm::Command3);
  form.Click(ShapedForm::Command3);
  EXPECT_EQ(runtime.windows[&about].loads, 1);
  EXPECT_TRUE(runtime.windows[&about].visible);
  EXPECT_TRUE(runtime.windows[&form].visible);  // modeless: the main window stays

  const int mainForward = runtime.windows[&form].broughtForward;
  about.Click(about::Form1::Command1);
  EXPECT_FALSE(runtime.windows[&about].visible);
  EXPECT_TRUE(runtime.windows[&about].loaded);  // hidden, not unloaded
  EXPECT_EQ(runtime.windows[&form].broughtForward, mainForward + 1);

  form.Click(ShapedForm::Command3);
  EXPECT_EQ(runtime.windows[&about].loads, 1);
}

TEST_F(MainWindow, OkReloadsAMainWindowClosedMeanwhile) {
  Load();
  form.Click(ShapedForm::Command3);
  runtime.Close(form);
  windows.calls.clear();
  form.AboutWindow().Click(about::Form1::Command1);
  EXPECT_TRUE(runtime.windows[&form].loaded);
  EXPECT_EQ(runtime.windows[&form].loads, 2);
  EXPECT_EQ(CallNames().back(), "SetWindowRgn");  // Form_Load ran again
}

// --- Clock and schedule ---

class Schedule : public MainWindow {
 protected:
  void At(int h, int m, int s, int ms = 0) { runtime.now = {h, m, s, ms}; }
  void Tick(int timer) { form.Timer(timer); }
  void Type(std::string_view text) { runtime.Type(form, ShapedForm::Text1, text); }
  std::size_t HangUps() const { return fake::Ras().hangUps.size(); }
};

TEST_F(Schedule, ClockShowsTheTimeWithTheLocalesSeparator) {
  Load();
  At(7, 5, 9);
  Tick(ShapedForm::Timer1);
  EXPECT_EQ(Text(ShapedForm::lblTime), "07:05:09");
  runtime.separator = ".";
  At(23, 59, 59);
  Tick(ShapedForm::Timer1);
  EXPECT_EQ(Text(ShapedForm::lblTime), "23.59.59");
}

TEST_F(Schedule, HangsUpOnEveryTickWhileTheClockShowsTheTypedTime) {
  Load();
  fake::Ras().connections = {{Handle(1), "Modem", /*closesOnHangUp=*/false}};
  Type("23:30:00");
  At(23, 29, 59, 999);
  Tick(ShapedForm::Timer1);
  Tick(ShapedForm::Timer2);
  EXPECT_EQ(HangUps(), 0u);
  At(23, 30, 0, 1);
  Tick(ShapedForm::Timer1);
  for (int i = 0; i < 5; ++i) Tick(ShapedForm::Timer2);
  EXPECT_EQ(HangUps(), 5u);
  At(23, 30, 1, 0);
  Tick(ShapedForm::Timer1);
  Tick(ShapedForm::Timer2);
  EXPECT_EQ(HangUps(), 5u);
  EXPECT_EQ(Text(ShapedForm::Text1), "23:30:00");  // the target is left as typed
}

TEST_F(Schedule, EditingTheBoxDuringTheMatchingSecondStopsTheCalls) {
  Load();
  Type("12:00:00");
  At(12, 0, 0);
  Tick(ShapedForm::Timer1);
  Tick(ShapedForm::Timer2);
  Type("12:00:0");
  Tick(ShapedForm::Timer2);
  EXPECT_EQ(HangUps(), 1u);
}

TEST_F(Schedule, TextsNotInTheClocksExactFormNeverMatch) {
  Load();
  At(23, 30, 0);
  Tick(ShapedForm::Timer1);
  for (const char* target : {"", "23:30", " 23:30:00", "23:30:00 ", "23.30.00", "11:30:00 PM",
                             "23:30:00\n", "23:30:0"}) {
    Type(target);
    Tick(ShapedForm::Timer2);
    EXPECT_EQ(HangUps(), 0u) << '"' << target << '"';
  }
}

TEST_F(Schedule, NoTimeOfDayShows2400ButMidnightShows000000) {
  Load();
  Type("24:00:00");
  bool midnight = false;
  for (int s = 0; s < 24 * 3600; ++s) {
    At(s / 3600, s / 60 % 60, s % 60);
    Tick(ShapedForm::Timer1);
    Tick(ShapedForm::Timer2);
    midnight |= Text(ShapedForm::lblTime) == "00:00:00";
  }
  EXPECT_TRUE(midnight);
  EXPECT_EQ(HangUps(), 0u);
}

TEST_F(Schedule, ComparesWithTheCaptionAsItStandsEvenBeforeTheFirstTick) {
  Load();
  Type("VREME");  // the label's caption until the clock first ticks
  Tick(ShapedForm::Timer2);
  EXPECT_EQ(HangUps(), 1u);  // it is compared as text, like any other
  Type("");
  Tick(ShapedForm::Timer2);
  EXPECT_EQ(HangUps(), 1u);
}

}  // namespace

namespace {

TEST(AboutText, EachRunOfSpacesShowsAsALineEnd) {
  const auto* label = about::Form1::kDesign.Find(about::Form1::Label1);
  ASSERT_TRUE(label && label->wordWrap);
  const std::string shown = forms::ShownCaption(label->caption, label->wordWrap);
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; start <= shown.size(); start = end + 1) {
    end = std::min(shown.find('\n', start), shown.size());
    lines.push_back(shown.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Zdravo!");
  EXPECT_EQ(lines[2], "E-mail: autor@example.org");
  for (const auto& line : lines) {
    EXPECT_FALSE(line.empty());
    EXPECT_NE(line.front(), ' ') << line;
    EXPECT_NE(line.back(), ' ') << line;
  }
  // Single spaces between words stay; captions that do not wrap are left alone.
  EXPECT_EQ(forms::ShownCaption("a  b c", true, "\r\n"), "a\r\nb c");
  EXPECT_EQ(forms::ShownCaption("a  b", false), "a  b");
}

}  // namespace

namespace {

// Both windows' design tables as the windows were designed: the window, then
// each control in table order, as "name caption left,top,width,height tab".
// (The about text's wording is free; its place is not.)
std::vector<std::string> Rows(const forms::FormDesign& d) {
  auto row = [](std::string_view name, std::string_view caption, int l, int t, int w, int h,
                int tab) {
    return std::string(name) + " " + std::string(caption) + " " + std::to_string(l) + "," +
           std::to_string(t) + "," + std::to_string(w) + "," + std::to_string(h) + " " +
           std::to_string(tab);
  };
  std::vector<std::string> rows = {
      row(d.name, d.caption, d.left, d.top, d.clientWidth, d.clientHeight, -1)};
  for (const auto& c : d.controls)
    rows.push_back(row(c.name, c.caption, c.left, c.top, c.width, c.height, c.tabIndex));
  return rows;
}

TEST(DesignTables, BothWindowsKeepTheirCaptionsPlacesSizesAndTabOrder) {
  EXPECT_EQ(
      Rows(ShapedForm::kDesign),
      (std::vector<std::string>{
          "ShapedForm Prekidnik 2370,1980,8805,5025 -1", "Label2 IP adresa 810,495,6045,615 8",
          "lblTime VREME 2010,1005,3585,1005 4",
          "Label1 Ispod unesite tacno vreme kad hocete da prekidnikujete racunar sa Interneta "
          "1380,2175,5145,495 3",
          "Text1  1305,2850,5235,375 1", "Command1 &Prekidnikuj! 1755,3315,1245,525 2",
          "Command4 Minimizuj! 3150,3315,1245,525 6", "Command5 IP Adresa 4590,3330,1245,525 7",
          "Command3 &O autoru 2490,3960,1245,525 5", "Command2 I&zlaz! 3870,3960,1245,525 0",
          "Timer1  5535,1245,0,0 -1", "Timer2  5535,1695,0,0 -1", "Winsock1  5400,4050,0,0 -1"}));
  EXPECT_EQ(Rows(about::Form1::kDesign),
            (std::vector<std::string>{
                "Form1 O Autoru 0,0,3780,2820 -1",
                "Label1 " + std::string(about::Form1::kDesign.Find(about::Form1::Label1)->caption) +
                    " 120,60,3525,1995 0",
                "Command1 OK! 1230,2190,1245,525 1"}));
}

}  // namespace
