/* Rolled-print mosaic interface of libquisal (GA/T 626.2-2010 shape).
 *
 * Every export returns int. Codes: -1 bad argument, -2 no memory, -7 no
 * image bound, -8 not initialised (see MOSAIC_GetErrorInfo). The library keeps
 * one process-wide state without locks: call it from one thread at a time.
 * Every buffer passed in stays the caller's.
 */
#ifndef QUISAL_MOSAIC_H
#define QUISAL_MOSAIC_H

#define MOSAIC_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* Allocates the block maps; 1 (also when already initialised), or -2. */
MOSAIC_API int MOSAIC_Init(void);
/* Frees the maps and forgets the bound image (a new MOSAIC_Start binds one).
 * Always 1. */
MOSAIC_API int MOSAIC_Close(void);

MOSAIC_API int MOSAIC_IsSupportIdentifyFinger(void); /* 1 */
MOSAIC_API int MOSAIC_IsSupportImageQuality(void);   /* 1 */
MOSAIC_API int MOSAIC_IsSupportFingerQuality(void);  /* 1 */
MOSAIC_API int MOSAIC_IsSupportImageEnhance(void);   /* 1 */
MOSAIC_API int MOSAIC_IsSupportRollCap(void);        /* 3 */

/* Mode 0..3: returns the previous mode; other values -1. */
MOSAIC_API int MOSAIC_SetRollMode(int mode);

/* Binds the caller's mosaic image (64..800 wide, a multiple of 16; 64..750
 * high), fills it white and clears the mosaic. 1, -1 or -8. */
MOSAIC_API int MOSAIC_Start(unsigned char *image, int width, int height);
/* Merges one frame of the started size: 1 merged, 0 no finger in the frame,
 * -1 wrong size or null frame, -2 out of memory (the mosaic unchanged),
 * -7 no image bound, -8. */
MOSAIC_API int MOSAIC_DoMosaic(unsigned char *frame, int width, int height);
/* Ends a roll; the mosaic stays in the bound image. 1. */
MOSAIC_API int MOSAIC_Stop(void);

/* Scores 0..100 for images of 64..2304 in both dimensions; -1 or -8. */
MOSAIC_API int MOSAIC_ImageQuality(unsigned char *image, int width, int height);
MOSAIC_API int MOSAIC_FingerQuality(unsigned char *image, int width, int height);
/* Copies src to dst (unless they are one buffer) and stretches dst's grey
 * levels. 1, -1 or -8. */
MOSAIC_API int MOSAIC_ImageEnhance(unsigned char *src, int width, int height, unsigned char *dst);
/* 1 when the image (256..2304 wide, 360..2304 high) shows a finger, else 0;
 * -1, -2 or -8. */
MOSAIC_API int MOSAIC_IsFinger(unsigned char *image, int width, int height);

/* Copies the text of a code into text (81 bytes suffice), English or, when
 * LANG begins with zh_CN, Chinese. 1, -6 for an unknown code, -1 for null. */
MOSAIC_API int MOSAIC_GetErrorInfo(int code, char *text);
MOSAIC_API int MOSAIC_GetVersion(void); /* 100 */
/* Copies the library's description (81 bytes suffice); 1. */
MOSAIC_API int MOSAIC_GetDesc(char *text);

#ifdef __cplusplus
}
#endif

#endif
