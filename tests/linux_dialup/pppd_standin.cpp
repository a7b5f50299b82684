// Stands in for pppd in the tests: built under the name "pppd", so that
// /proc/<pid>/comm reads "pppd", it waits for a signal and ignores its arguments.
#include <unistd.h>

int main() {
  for (;;) pause();
}
