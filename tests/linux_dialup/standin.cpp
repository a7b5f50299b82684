// Stand-ins for the processes the dial-up layer looks for, built twice:
// - as "pppd", so that /proc/<pid>/comm reads "pppd", it waits for a signal
//   and ignores its arguments, but for one: with "ignore-term" among them it
//   survives SIGTERM and writes "TERM" on standard output for each one it is
//   sent, once it has written "READY";
// - as "NetworkManager", starting pppd for one of its connections: it starts
//   the program and arguments it is given as its child, writes the child's
//   pid on standard output and waits. The child dies with it.
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
void Report(int) { (void)!write(STDOUT_FILENO, "TERM\n", 5); }
}  // namespace

int main(int argc, char** argv) {
  const char* slash = strrchr(argv[0], '/');
  if (strcmp(slash ? slash + 1 : argv[0], "NetworkManager") == 0) {
    if (argc < 2) return 2;
    const pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      execv(argv[1], argv + 1);
      _exit(127);
    }
    printf("%d\n", static_cast<int>(child));
    fflush(stdout);
  }
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "ignore-term") == 0) {
      signal(SIGTERM, Report);
      (void)!write(STDOUT_FILENO, "READY\n", 6);
    }
  }
  for (;;) pause();
}
