/* libbelnorlite: the capture interface for hosts with a fixed 256 x 360
 * window and no fingerprint algorithm. It exports the calls of livescan.h
 * except LIVESCAN_Get_Version, the preview calls and the minutiae calls,
 * plus the two below. LIVESCAN_SetCaptWindow accepts only 256 x 360 with
 * x <= 384 and y <= 280, inside the corrected image of the scanner's
 * calibration (the default origin is kept inside it), and LIVESCAN_GetDesc
 * writes a 1024-byte binary description. */
#ifndef LIVESCAN_LITE_H
#define LIVESCAN_LITE_H

#include "livescan.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Fills length bytes of buffer with 0: 1, or -1 for a null buffer. */
LIVESCAN_API int LIVESCAN_SetBufferEmpty(void *buffer, unsigned long length);

/* Fetches one frame: 1 when a finger lies on the scanner, 0 when not;
 * -5 (not open), -2 (no memory) or the fetch's error (-101). */
LIVESCAN_API int LIVESCAN_CheckFingerPress(void);

#ifdef __cplusplus
}
#endif

#endif
