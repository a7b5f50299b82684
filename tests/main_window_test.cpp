// Both windows' designs and handlers, the clock and the schedule, on the test doubles.
#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <sstream>
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

struct Window {
  Window() { runtime.Show(form); }
  fake::Runtime runtime;
  fake::WindowSystem windows;
  fake::AddressSource winsock;
  ShapedForm form{runtime, windows, winsock};
};

// The region handed to the window lives on (unload too); each press hangs up / reads afresh.
TEST(MainWindow, TheWindowKeepsItsRegionAndEachPressAsksAfresh) {
  Window w;
  int cancel = 0;
  w.form.Form_Unload(cancel);
  EXPECT_EQ(w.windows.live, std::set{w.windows.windowRegion});  // the one handed to the window
  fake::Ras() = {{{fake::Handle(1), "Modem"}}, {}};
  w.form.Click(ShapedForm::Command1);
  EXPECT_EQ(fake::Ras().hangUps.size(), 1u);
  // A listing that succeeds with a count past the buffer: what lies beyond it is not read.
  fake::Ras() = {std::vector(257, fake::RasConnection{fake::Handle(2), "Modem"}), {}, 0};
  w.form.Click(ShapedForm::Command1);
  EXPECT_EQ(fake::Ras().hangUps.size(), 256u);
  EXPECT_EQ(w.runtime.Text(w.form, ShapedForm::Label2), "IP adresa");
  for (const char* address : {"10.64.0.5", "192.0.2.77"}) {
    w.winsock.address = address;
    w.form.Click(ShapedForm::Command5);
    EXPECT_EQ(w.runtime.Text(w.form, ShapedForm::Label2), address);
  }
}

// Corners: each step in single precision, halves to even (rows 1-2), the design's density for an
// unusable one, the 32-bit range; the last row kept wide in x87 registers would give 975, 911.
TEST(EllipseCorners, RoundEachStepAndHoldToTheirRange) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max(), kMin = -kMax - 1;
  const std::tuple<float, float, std::int16_t, std::int16_t, float, std::vector<std::int32_t>>
      cases[] = {
          {1, 1, 0, 0, 30, {12, 12, 242, 168}},
          {2, 0.5f, -10, 7, 15, {40, 18, 956, 174}},
          {1, 1, 0, 0, 0, {25, 23, 483, 335}},
          {1, 1, 0, 0, std::numeric_limits<float>::infinity(), {25, 23, 483, 335}},
          {1e30f, -1e30f, 0, 0, 15, {kMax, kMin, kMax, kMin}},
          {0x1.a5af38p+0f, 0x1.1341ep+1f, -19, 10, 12, {32, 72, 976, 910}},
      };
  for (const auto& [scaleX, scaleY, offsetX, offsetY, tpp, corners] : cases) {
    const auto e = main_window::ComputeEllipseCorners(scaleX, scaleY, offsetX, offsetY, tpp, tpp);
    EXPECT_EQ((std::vector{e.x1, e.y1, e.x2, e.y2}), corners) << scaleX << " at " << tpp;
  }
}

// Timer2 hangs up on each tick the box is the clock's text, its caption before the first too.
TEST(Schedule, ComparesWithTheCaptionAsItStandsBeforeTheFirstTick) {
  for (const auto& [typed, hangUps] : {std::pair("VREME", 3u), {"VREME ", 0u}, {"", 0u}}) {
    fake::Ras() = {{{fake::Handle(1), "Modem"}}, {}};
    Window w;
    w.runtime.Type(w.form, ShapedForm::Text1, typed);
    for (int i = 0; i < 3; ++i) w.form.Timer(ShapedForm::Timer2);
    EXPECT_EQ(fake::Ras().hangUps.size(), hangUps) << '"' << typed << '"';
  }
}

// The one sign after the hour (%r's from the 12-hour format, flags, O) is the separator, else
// ":": no space, letter (時 too), digit, control, broken or overlong character; "%%H" is no hour.
TEST(ClockText, SeparatorIsOnePunctuationBetweenHourAndMinuteElseColon) {
  const std::tuple<const char*, const char*, const char*> signs[] = {
      {"%r", "%I.%M.%S %p", "."},
      {"%l.%M:%S %P", "", "."},
      {"%-H'%M", "", "'"},
      {"%H\xef\xbc\x9a%M", "", "\xef\xbc\x9a"},
      {"%OH\xc2\xb7%OM", "", "\xc2\xb7"},
  };
  for (const auto& [format, ampm, separator] : signs)
    EXPECT_EQ(schedule::SeparatorFromTimeFormat(format, ampm), separator) << format;
  for (const char* format : {"%H%M%S", "%H %M", "%Hh%M", "%H\xe6\x99\x82%M", "%H1%M", "%H\t%M",
                             "%H\xe6%M", "%H\xc0\xba%M", "%%H.%M", "Hour %", "%r"})
    EXPECT_EQ(schedule::SeparatorFromTimeFormat(format), ":") << format;
}

// Each run of two or more spaces in a wrapped caption shows as one line end; one space stays.
TEST(Captions, EachRunOfSpacesInAWrappedOneShowsAsALineEnd) {
  EXPECT_EQ(forms::ShownCaption("a  b   c d", true, "\r\n") + forms::ShownCaption("a  b", false),
            "a\r\nb\r\nc da  b");
}

// Both windows' captions, tab order and wrapping (the about text's wording free); their places and
// sizes are the tables' own, which the end-to-end tests turn into pixels.
TEST(DesignTables, BothWindowsKeepTheirCaptionsAndTabOrder) {
  const std::string_view aboutText = about::Form1::kDesign.Find(about::Form1::Label1)->caption;
  std::ostringstream rows;
  for (const forms::FormDesign* d : {&ShapedForm::kDesign, &about::Form1::kDesign}) {
    rows << d->name << " " << d->caption << "|";
    for (const auto& c : d->controls)
      rows << c.name << " " << (c.caption == aboutText ? "..." : c.caption) << " " << c.tabIndex
           << (c.wordWrap ? " wrapped|" : "|");
  }
  EXPECT_EQ(
      rows.str(),
      "ShapedForm Prekidnik|Label2 IP adresa 8|lblTime VREME 4|Label1 Ispod unesite tacno "
      "vreme kad hocete da prekidnikujete racunar sa Interneta 3 wrapped|Text1  1|Command1 "
      "&Prekidnikuj! 2|Command4 Minimizuj! 6|Command5 IP Adresa 7|Command3 &O autoru 5|"
      "Command2 I&zlaz! 0|Timer1  -1|Timer2  -1|Winsock1  -1|Form1 O Autoru|Label1 ... 0 wrapped|"
      "Command1 OK! 1|");
}

}  // namespace
