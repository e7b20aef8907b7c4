/* A host program of the installed reduced capture library. */
#include <livescan_lite.h>
#include <stdio.h>

int main(void) {
  unsigned char buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  if (LIVESCAN_SetBufferEmpty(buffer, sizeof buffer) != 1) return 1;
  for (unsigned i = 0; i < sizeof buffer; ++i)
    if (buffer[i] != 0) return 2;
  if (LIVESCAN_CheckFingerPress() != -5) return 3;
  printf("libbelnorlite %d\n", LIVESCAN_GetVersion());
  return 0;
}
