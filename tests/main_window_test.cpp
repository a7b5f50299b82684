// Both windows' designs and handlers, the clock and the schedule, on the test
// doubles of the forms runtime.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "main_window/form_region.h"
#include "main_window/shaped_form.h"
#include "platform/fake/fake_forms.h"
#include "platform/fake/fake_ras.h"
#include "platform/label_text.h"
#include "schedule/clock.h"

namespace {

using main_window::ShapedForm;
using Strings = std::vector<std::string>;

struct Window {
  Window() {
    fake::Ras() = {{{fake::Handle(1), "Modem", /*closesOnHangUp=*/false}}, {}};
    runtime.Show(form);
  }
  fake::Runtime runtime;
  fake::WindowSystem windows;
  fake::AddressSource winsock;
  ShapedForm form{runtime, windows, winsock};
};

// FormRegion becomes a copy of the ellipse, which is deleted; the window is
// handed FormRegion, which is then the window's: never deleted, not even when
// the form unloads. A press anywhere on the surface hands the move to the
// window system; "IP Adresa" reads the address afresh each time.
TEST(MainWindow, ShapesItselfAnEllipseAndHandsItsMovesAndAddressOn) {
  Window w;
  const std::string window = std::to_string(fake::WindowSystem::Id(w.runtime.hWnd(w.form)));
  w.form.Form_MouseDown(2, 1, 300, 400);  // any button, any shift state, anywhere
  int cancel = 0;
  w.form.Form_Unload(cancel);
  EXPECT_EQ(w.windows.calls,
            Strings({"CreateRectRgn 0 0 0 0 1", "CreateEllipticRgn 25 23 483 335 2",
                     "CombineRgn 1 2 2 5", "DeleteObject 2", "SetWindowRgn " + window + " 1 1",
                     "ReleaseCapture", "SendMessageA " + window + " 161 2 0"}));
  EXPECT_EQ(w.windows.liveRegions, std::vector<long long>{1});
  for (const char* address : {"10.64.0.5", "192.0.2.77"}) {
    w.winsock.address = address;
    w.form.Click(ShapedForm::Command5);
    EXPECT_EQ(w.runtime.Text(w.form, ShapedForm::Label2), address);
  }
}

// Each corner rounds each step to single precision, halves to the even
// neighbour, with a usable screen density, within the 32-bit range.
TEST(EllipseCorners, RoundEachStepAndHoldToTheirRange) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
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
      {1, 1, 0, 0, std::numeric_limits<float>::infinity(), {25, 23, 483, 335}},
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

// Timer2 asks for a hang-up on every tick while the box holds exactly what
// the clock shows, its caption before the first tick included. (The other
// spellings, and the whole matching second, are end-to-end cases.)
TEST(Schedule, HangsUpOnEveryTickWhileTheBoxHoldsExactlyTheClocksText) {
  struct Case {
    forms::TimeOfDay now;  // hour -1: before the clock's first tick
    const char *typed, *shown;
    bool hangsUp;
  } const cases[] = {
      {{23, 30, 0, 1}, "23:30:00", "23:30:00", true},
      {{23, 30, 0, 1}, "23:30:0", "23:30:00", false},
      {{0, 0, 0, 0}, "24:00:00", "00:00:00", false},
      {{0, 0, 0, 0}, "00:00:00", "00:00:00", true},
      {{-1, 0, 0, 0}, "VREME", "VREME", true},
      {{-1, 0, 0, 0}, "", "VREME", false},
  };
  for (const Case& c : cases) {
    Window w;
    w.runtime.Type(w.form, ShapedForm::Text1, c.typed);
    w.runtime.now = c.now;
    if (c.now.hour >= 0) w.form.Timer(ShapedForm::Timer1);
    for (int i = 0; i < 3; ++i) w.form.Timer(ShapedForm::Timer2);
    EXPECT_EQ(w.runtime.Text(w.form, ShapedForm::lblTime), c.shown);
    EXPECT_EQ(fake::Ras().hangUps.size(), c.hangsUp ? 3u : 0u) << '"' << c.typed << '"';
  }
}

// The locale's time format gives the separator: the one sign after the hour,
// else ":". (Real locales are the Qt tests' table.)
TEST(ClockText, SeparatorIsOnePunctuationBetweenHourAndMinuteElseColon) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"%r", "%I.%M.%S %p", "."},                // %r takes the 12-hour format's
      {"%Z %I.%M.%S %p", "", "."},               // a 12-hour locale
      {"%l.%M:%S %P %Z", "", "."},               // space-padded hour
      {"%H\xef\xbc\x9a%M", "", "\xef\xbc\x9a"},  // a full-width colon is one sign
      {"%H\xc2\xb7%M", "", "\xc2\xb7"},          // so is a middle dot
      {"%OH/%OM:%OS", "", "/"},                  // with the O modifier
      {"%-H'%M", "", "'"},                       // with a flag
      {"%H%M%S", "", ":"},                       // nothing between
      {"%k h %M", "", ":"},                      // words between
      {"%H %M", "", ":"},                        // a space is no separator
      {"%Hh%M", "", ":"},                        // a letter neither
      {"%H1%M", "", ":"},                        // nor a digit
      {"%H\t%M", "", ":"},                       // nor a control
      {"%H\xe6%M", "", ":"},                     // nor a broken character
      {"%H\xc0\xba%M", "", ":"},                 // nor an overlong ":"
      {"%H\xe6\x99\x82%M", "", ":"},             // nor a word (ja_JP)
      {"%%H.%M", "", ":"},                       // "%%H" is no hour
      {"%r", "", ":"},
      {"Hour %", "", ":"},
  };
  for (const auto& [format, ampm, separator] : cases)
    EXPECT_EQ(schedule::SeparatorFromTimeFormat(format, ampm), separator) << format;
}

// Each run of two or more spaces in a wrapped caption shows as a line end.
TEST(AboutText, EachRunOfSpacesShowsAsALineEnd) {
  const auto* label = about::Form1::kDesign.Find(about::Form1::Label1);
  const std::string shown = forms::ShownCaption(label->caption, label->wordWrap);
  EXPECT_EQ(shown.substr(0, 8), "Zdravo!\n");
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 3);
  for (const char* wrong : {" \n", "\n ", "\n\n", "  "}) EXPECT_EQ(shown.find(wrong), shown.npos);
  EXPECT_EQ(forms::ShownCaption("a  b c", true, "\r\n"), "a\r\nb c");
  EXPECT_EQ(forms::ShownCaption("a  b", false), "a  b");
}

// Both windows' design tables: the window, then each control in table order,
// as "name caption left,top,width,height tab". (The about text's wording is
// free; its place is not.)
TEST(DesignTables, BothWindowsKeepTheirCaptionsPlacesSizesAndTabOrder) {
  auto rows = [](const forms::FormDesign& d) {
    auto row = [](auto name, auto caption, int l, int t, int w, int h, int tab) {
      return std::string(name) + " " + std::string(caption) + " " + std::to_string(l) + "," +
             std::to_string(t) + "," + std::to_string(w) + "," + std::to_string(h) + " " +
             std::to_string(tab);
    };
    Strings rows = {row(d.name, d.caption, d.left, d.top, d.clientWidth, d.clientHeight, -1)};
    for (const auto& c : d.controls)
      rows.push_back(row(c.name, c.caption, c.left, c.top, c.width, c.height, c.tabIndex));
    return rows;
  };
  EXPECT_EQ(
      rows(ShapedForm::kDesign),
      Strings({"ShapedForm Prekidnik 2370,1980,8805,5025 -1", "Label2 IP adresa 810,495,6045,615 8",
               "lblTime VREME 2010,1005,3585,1005 4",
               "Label1 Ispod unesite tacno vreme kad hocete da prekidnikujete racunar sa "
               "Interneta 1380,2175,5145,495 3",
               "Text1  1305,2850,5235,375 1", "Command1 &Prekidnikuj! 1755,3315,1245,525 2",
               "Command4 Minimizuj! 3150,3315,1245,525 6",
               "Command5 IP Adresa 4590,3330,1245,525 7", "Command3 &O autoru 2490,3960,1245,525 5",
               "Command2 I&zlaz! 3870,3960,1245,525 0", "Timer1  5535,1245,0,0 -1",
               "Timer2  5535,1695,0,0 -1", "Winsock1  5400,4050,0,0 -1"}));
  const std::string about(about::Form1::kDesign.Find(about::Form1::Label1)->caption);
  EXPECT_EQ(rows(about::Form1::kDesign),
            Strings({"Form1 O Autoru 0,0,3780,2820 -1", "Label1 " + about + " 120,60,3525,1995 0",
                     "Command1 OK! 1230,2190,1245,525 1"}));
}

}  // namespace
