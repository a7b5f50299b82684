// What the main window shows on the Qt runtime (platform/qt/qt_runtime.cpp): each control's
// caption, the clock's digits' height at the screen's dpi, the address IP Adresa reads from this
// machine, and Minimizuj!. CTest runs these at 96 dpi (qt.QtLook.*) and again at 120
// (qt.QtLook120, a desktop's Xft.dpi: 120), where a size fixed in pixels would show.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <QApplication>
#include <QFontMetrics>
#include <QScreen>
#include <set>
#include <string>

#include "main_window/shaped_form.h"
#include "platform/fake/fake_forms.h"
#include "platform/label_text.h"
#include "platform/qt/qt_runtime.h"
#include "platform/unix/unix_address.h"
#include "tests/qt/event_loop.h"

namespace {

using main_window::ShapedForm;
using qt_test::RunUntil;

class QtLook : public ::testing::Test {
 protected:
  QtLook() { runtime.Show(form); }
  std::string Clock() { return runtime.Text(form, ShapedForm::lblTime); }

  qt_backend::Runtime runtime;
  fake::WindowSystem windows;
  unix_address::AddressSource winsock;
  ShapedForm form{runtime, windows, winsock};
};

// Every control but the timers and the Winsock control has a widget, which shows its caption
// (a wrapped one with its runs of spaces as line ends).
TEST_F(QtLook, EachControlShowsItsDesignCaption) {
  for (const auto& c : ShapedForm::kDesign.controls) {
    if (c.kind == forms::ControlKind::Timer || c.kind == forms::ControlKind::Winsock) continue;
    SCOPED_TRACE(c.name);
    ASSERT_NE(runtime.Loaded(form)->Control(c.id), nullptr);
    EXPECT_EQ(runtime.Text(form, c.id), forms::ShownCaption(c.caption, c.wordWrap));
  }
}

// 32 pixels at 96 dpi, 40 at 120, within 4 pixels at 96.
TEST_F(QtLook, TheClocksDigitsStandInProportionToTheDpi) {
  const QFontMetrics digits(runtime.Loaded(form)->Control(ShapedForm::lblTime)->font());
  const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
  EXPECT_NEAR(digits.tightBoundingRect("10:00:00").height(), 32 * dpi / 96, 4 * dpi / 96) << dpi;
}

// This machine's IPv4 addresses on interfaces that are up, the loopback's aside. Read here
// through getifaddrs, not a tool, so the set is the same whatever is installed.
std::set<std::string> OwnAddresses() {
  std::set<std::string> own;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return own;
  for (const ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
    if (!(i->ifa_flags & IFF_UP) || (i->ifa_flags & IFF_LOOPBACK)) continue;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr, text,
              sizeof text);
    own.insert(text);
  }
  freeifaddrs(list);
  return own;
}

// Which of them is the address choice's test (the logic tests' AddressChoice).
TEST_F(QtLook, IPAdresaShowsAnAddressOfThisMachine) {
  const std::set<std::string> own = OwnAddresses();
  form.Click(ShapedForm::Command5);
  const std::string shown = runtime.Text(form, ShapedForm::Label2);
  if (own.empty())
    EXPECT_EQ(shown, "127.0.0.1");
  else
    EXPECT_EQ(own.count(shown), 1u) << shown << " is not an address of this machine";
}

// Minimised, the window stays so while the clock turns on (a clock that restored it would not).
TEST_F(QtLook, MinimizujMinimisesTheWindowForGood) {
  form.Click(ShapedForm::Command4);
  ASSERT_TRUE(RunUntil([&] { return Clock() != "VREME"; }));
  const std::string second = Clock();
  ASSERT_TRUE(RunUntil([&] { return Clock() != second; }, 3000)) << "the clock stood still";
  EXPECT_TRUE(runtime.Loaded(form)->isMinimized());
}

}  // namespace
