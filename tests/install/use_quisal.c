/* A host program of the installed mosaic library. */
#include <mosaic.h>
#include <stdio.h>

int main(void) {
  unsigned char frame[16] = {0};
  if (MOSAIC_GetVersion() != 100) return 1;
  /* Nothing is started yet. */
  if (MOSAIC_DoMosaic(frame, 4, 4) >= 0) return 2;
  printf("libquisal %d\n", MOSAIC_GetVersion());
  return 0;
}
