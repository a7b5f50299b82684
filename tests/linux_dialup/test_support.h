// Processes and folders that the dial-up tests and the benchmark make, and always clean up.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace dialup_test {

// A child process, running once constructed, killed when this goes (or the test dies). `output`
// keeps its standard output for ReadLine(); a `user` runs it as that user (from root).
class Child {
 public:
  explicit Child(std::vector<std::string> argv, bool output = false, int user = -1) {
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    int out[2] = {-1, -1}, exec[2];  // `exec` closes with the exec, which is waited for
    if ((output && pipe2(out, O_CLOEXEC) != 0) || pipe2(exec, O_CLOEXEC) != 0) abort();
    if ((pid_ = fork()) == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (output) dup2(out[1], STDOUT_FILENO);
      // As that user alone, without root's supplementary groups.
      if (user == -1 || (setgroups(0, nullptr) == 0 && setgid(user) == 0 && setuid(user) == 0)) {
        execv(args[0], args.data());
      }
      _exit(127);
    }
    close(exec[1]);
    for (char c; read(exec[0], &c, 1) < 0 && errno == EINTR;) continue;
    close(exec[0]);
    close(out[1]);
    output_ = out[0];
  }
  ~Child() {
    KillAndReap();
    close(output_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  std::string ReadLine() {  // empty at its end
    std::string line;
    for (char c = 0; read(output_, &c, 1) == 1 && c != '\n';) line += c;
    return line;
  }
  // Kills and reaps it; returns the signal that ended it: SIGKILL if nothing did before.
  int KillAndReap() {
    int status = 0;
    if (pid_ > 0 && kill(pid_, SIGKILL) == 0) {
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) continue;
    }
    pid_ = -1;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
};

// A fresh folder, removed with all it holds when this goes; `pattern` ends in XXXXXX.
class TempDir {
 public:
  explicit TempDir(std::string pattern = std::filesystem::temp_directory_path() /
                                         "dialup-test-XXXXXX") {
    if (mkdtemp(pattern.data()) == nullptr) abort();
    path_ = pattern;
  }
  ~TempDir() { std::filesystem::remove_all(path_, ignored_); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::error_code ignored_;
};

}  // namespace dialup_test
