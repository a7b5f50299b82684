/* Run once when the build is configured, under the target's Wine: whether
   this machine can run the build's Windows programs at all. */
#include <stdio.h>

int main(void) {
  printf("%d-bit Windows code runs here\n", (int)(sizeof(void*) * 8));
  return 0;
}
