// A mosaic library whose initialisation fails: the three required names.
#include "mosaic.h"

extern "C" {
int MOSAIC_Init(void) { return -2; }
int MOSAIC_Close(void) { return 1; }
int MOSAIC_DoMosaic(unsigned char *, int, int) { return -8; }
}
