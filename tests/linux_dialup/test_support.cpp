#include "tests/linux_dialup/test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace dialup_test {

Child::Child(const std::vector<std::string>& argv, bool captureOutput, int user) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  int outputFds[2] = {-1, -1};
  int execFds[2] = {-1, -1};  // closed by the exec, so the end of it can be waited for
  if ((captureOutput && pipe2(outputFds, O_CLOEXEC) != 0) || pipe2(execFds, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe");
  }
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    if (captureOutput) dup2(outputFds[1], STDOUT_FILENO);
    if (user != -1 && (setgid(user) != 0 || setuid(user) != 0)) _exit(126);
    execv(args[0], args.data());
    _exit(127);
  }
  close(execFds[1]);
  char ignored = 0;
  while (read(execFds[0], &ignored, 1) < 0 && errno == EINTR) {
  }
  close(execFds[0]);
  if (captureOutput) {
    close(outputFds[1]);
    output_ = outputFds[0];
  }
}

Child::~Child() {
  KillAndReap();
  if (output_ >= 0) close(output_);
}

std::string Child::ReadLine() {
  std::string line;
  char c = 0;
  while (read(output_, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

int Child::KillAndReap() {
  if (pid_ <= 0) return 0;
  kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "dialup-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ForeignPppdRunning() {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    if (ReadFile(entry.path() / "comm") == "pppd\n") {
      const std::string stat = ReadFile(entry.path() / "stat");
      std::istringstream fields(stat.substr(stat.rfind(')') + 2));
      std::string state;
      pid_t ppid = 0;
      fields >> state >> ppid;
      if (ppid != getpid() && state != "Z") return true;
    }
  }
  return false;
}

}  // namespace dialup_test
