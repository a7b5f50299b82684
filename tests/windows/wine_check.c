/* Run under the target's Wine when the build is configured: can this machine run its programs? */
#include <stdio.h>

int main(void) { return printf("%d-bit Windows code runs here\n", (int)(sizeof(void*) * 8)) < 0; }
