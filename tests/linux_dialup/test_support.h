// Processes and folders that the dial-up tests make, and always clean up.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace dialup_test {

// A child process, killed and reaped when this goes; the kernel kills it too
// should the test die first.
class Child {
 public:
  // Runs argv[0] with `argv`; `captureOutput` keeps its standard output for
  // ReadLine(); a `user` id other than -1 runs it as that user (from root).
  explicit Child(const std::vector<std::string>& argv, bool captureOutput = false, int user = -1);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  std::string ReadLine();  // one line of its output, empty at its end
  // Sends SIGKILL, reaps it and returns the signal that ended it: SIGTERM if
  // that had already been sent, SIGKILL if it ran untouched until now.
  int KillAndReap();

 private:
  pid_t pid_ = -1;
  int output_ = -1;
};

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const std::string& text);
std::string ReadFile(const std::filesystem::path& path);

// Whether a pppd that no test started is running on this machine.
bool ForeignPppdRunning();

}  // namespace dialup_test
