// The layer against the real /proc and kernel, across two users: root's pppd, hung up by a
// process of user "nobody", refuses the signal, and the refusal is written once however often
// the routine asks. Only the kernel says who may signal whom; no double can.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/linux_dialup/session.h"
#include "tests/linux_dialup/test_support.h"

namespace dialup_test {
namespace {

namespace fs = std::filesystem;

// A copy of this test program in a fresh folder that any user may enter: the checkout may lie
// where only root can go (under /root, or in a folder from mktemp -d), and so may $TMPDIR,
// hence /tmp itself.
class ProgramCopy {
 public:
  ProgramCopy() {
    fs::permissions(dir_.path(), fs::perms(0755));
    fs::copy_file(fs::read_symlink("/proc/self/exe"), program());
    fs::permissions(program(), fs::perms(0755));
  }
  fs::path program() const { return dir_.path() / "linux_dialup_tests"; }

 private:
  const TempDir dir_{"/tmp/prekidnik-nobody-XXXXXX"};
};

TEST(RealProc, AnotherUsersPppdIsReportedOnce) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to run processes as two users";
  if (ForeignPppd()) GTEST_SKIP() << "this machine runs a pppd of its own";
  constexpr int kNobody = 65534;
  Child others({Standin("pppd"), "call", "isp-of-root"});
  const ProgramCopy copy;
  Child hangUp({copy.program().string(), "--hang-up-thrice"}, true, kNobody);
  std::string written;
  for (std::string line = hangUp.ReadLine(); !line.empty(); line = hangUp.ReadLine()) {
    written += line + "\n";
  }
  EXPECT_EQ(written, "prekidnik: could not hang up \"isp-of-root\" (pppd " +
                         std::to_string(others.pid()) + "): Operation not permitted\n");
}

}  // namespace
}  // namespace dialup_test
