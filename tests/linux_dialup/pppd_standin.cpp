// Stands in for pppd in the tests: built under the name "pppd", so that
// /proc/<pid>/comm reads "pppd", it waits for a signal and ignores its
// arguments, but for one: with "ignore-term" among them it survives SIGTERM
// and writes "TERM" on standard output for each one it is sent, once it has
// written "READY".
#include <signal.h>
#include <string.h>
#include <unistd.h>

namespace {
void Report(int) { (void)!write(STDOUT_FILENO, "TERM\n", 5); }
}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "ignore-term") == 0) {
      signal(SIGTERM, Report);
      (void)!write(STDOUT_FILENO, "READY\n", 6);
    }
  }
  for (;;) pause();
}
