// NetworkManager failing while the routine hangs up: stalled, stopped, refusing, or answering
// oddly, each scripted into the mock by a file in faults/. Every row runs the routine three
// times, the fault mended after the first, with a pppd dialled by hand beside: what must hold is
// that a fault never stops the pppd from being ended, that the routine never waits longer than
// one timeout on a stalled NetworkManager, that later requests act again once it answers, and
// that each refusal is written once.
#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <optional>
#include <string>
#include <vector>

#include "dialup/module1.h"
#include "tests/linux_dialup/nm_mock.h"
#include "tests/linux_dialup/session.h"
#include "tests/linux_dialup/test_support.h"
#include "tests/named_rows.h"

namespace dialup_test {
namespace {

using named_rows::PrintTo;

// The mock's method a fault script takes the place of.
enum class Replaced {
  kNothing,       // the mock is stopped (SIGSTOP) for the first hang-up instead
  kListing,       // the manager's Properties.Get, which lists the active connections
  kDeactivation,  // the manager's DeactivateConnection
};

struct Fault {
  const char* name;
  Replaced replaced;
  const char* script;  // in faults/
  // DeactivateConnection's calls over the three hang-ups, in order, by the index of the
  // connection: 0 "Mobile" (gsm), 1 "VPN" (vpn), 2 "DSL" (pppoe).
  std::vector<int> deactivated;
  std::string written;  // to standard error, without "prekidnik: "; empty: nothing
};

class Faults : public NetworkManager, public ::testing::WithParamInterface<Fault> {
 protected:
  void Replace(Replaced replaced, const char* script) {
    QFile file(QString(PREKIDNIK_NM_FAULTS_DIR "/") + script);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QString code = QString::fromUtf8(file.readAll());
    if (replaced == Replaced::kListing) {
      Call(kNmPath, "AddMethod", {"org.freedesktop.DBus.Properties", "Get", "ss", "v", code});
    } else {
      Call(kNmPath, "AddMethod", {kNm, "DeactivateConnection", "o", "", code});
    }
  }
};

TEST_P(Faults, HangUpsGoOnAndPppdIsEnded) {
  const Fault& fault = GetParam();
  const QStringList active = {Activate("gsm", "Mobile"), Activate("vpn", "VPN"),
                              Activate("pppoe", "DSL")};
  Child pppd({Standin("pppd"), "call", "myisp"});
  if (fault.replaced == Replaced::kNothing) {
    kill(mock_->pid(), SIGSTOP);
  } else {
    Replace(fault.replaced, fault.script);
  }
  ::testing::internal::CaptureStderr();
  Module1::HangUpConnections();
  EXPECT_EQ(pppd.KillAndReap(), SIGTERM);
  // Mended: the stall released, the mock running again and caught up with what it was sent.
  WriteFile(dir_.path() / "release", "");
  kill(mock_->pid(), SIGCONT);
  Call(kNmPath, "GetDevices", {}, kNm);
  Module1::HangUpConnections();
  Module1::HangUpConnections();
  const std::string written = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(written, fault.written.empty() ? "" : "prekidnik: " + fault.written + "\n");
  QStringList expected;
  for (const int i : fault.deactivated) expected << active[i];
  EXPECT_EQ(Deactivated(), expected);
}

#define NM "org.freedesktop.NetworkManager"
using enum Replaced;

using Calls = std::vector<int>;

const Fault kFaults[] = {
    // name, replaced, script, deactivated, written
    //
    // The first hang-up times out; the rest of that listing is left, the pppd is not.
    {"StalledHangUp", kDeactivation, "stalled_hang_up.py", Calls{0, 0, 1, 2, 0, 1, 2},
     "could not hang up \"Mobile\": NetworkManager did not answer in time"},
    {"Stopped", kNothing, "", Calls{0, 1, 2},
     "NetworkManager did not list its connections in time"},
    {"ListingRefused", kListing, "listing_refused.py", Calls{},
     "NetworkManager did not list its connections: org.freedesktop.DBus.Error.AccessDenied: no"},
    // Refused, or gone meanwhile: only the refusal is written, and once.
    {"RefusedOrGone", kDeactivation, "refused_or_gone.py", Calls{0, 1, 2, 0, 1, 0, 1},
     "could not hang up \"Mobile\": " NM ".PermissionDenied: polkit says no"},
    // Each listed once, in the list's order; what is no connection is left out, unwritten.
    {"OddListing", kListing, "odd_listing.py", Calls{1, 0}, ""},
};

INSTANTIATE_TEST_SUITE_P(NetworkManager, Faults, ::testing::ValuesIn(kFaults),
                         named_rows::ByName());

}  // namespace
}  // namespace dialup_test
