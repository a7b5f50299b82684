// Stands in for NetworkManager starting pppd for one of its connections:
// built under the name "NetworkManager", it starts the program and arguments
// it is given as its child, writes the child's pid on standard output and
// waits. The child dies with it.
#include <signal.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
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
  for (;;) pause();
}
