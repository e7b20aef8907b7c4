/* Split interface of the stand-in libsalvune: cuts a slap (four fingers or
 * two thumbs) into single-finger images. Only the calls scanbench makes are
 * honoured; the finding itself is deliberately simple (dark blobs).
 */
#ifndef SALVUNE_H
#define SALVUNE_H

#include <stdint.h>

#define SALVUNE_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* One finger found by SALVUNE_DoSplit (24 bytes on x86-64). */
typedef struct SplitFingerInfo {
  int32_t x, y;         /* top-left corner of the cut in the slap */
  int32_t width;        /* columns of the finger's blob */
  int32_t height;       /* rows of the finger's blob */
  unsigned char *image; /* caller's fingerW x fingerH buffer, filled by DoSplit */
} SplitFingerInfo;

#define SALVUNE_MAX_FINGERS 10

/* Remembers the slap size for the next splits: 1, or -1 for a size <= 0. */
SALVUNE_API int SALVUNE_Init(int width, int height, int mode);
/* Forgets it: 1. */
SALVUNE_API int SALVUNE_Uninit(void);
/* Finds the fingers of image (width x height grey, top row first) and cuts
 * each to fingerW x fingerH (padded with 255) into records[i].image, at most
 * SALVUNE_MAX_FINGERS and never more than the records can take.
 * 1 with *count set; -1 bad arguments or a size other than Init's; -2 before
 * Init. */
SALVUNE_API int SALVUNE_DoSplit(const unsigned char *image, int width, int height, int mode,
                                int fingerW, int fingerH, int *count,
                                SplitFingerInfo *records);
/* Counts the fingers without cutting: 1 with *count, -1 bad arguments. */
SALVUNE_API int SALVUNE_JudegeFingers(const unsigned char *image, int width, int height,
                                      int *count);
/* Writes an 8-bit grey BMP file: 1, or -1 when it cannot be written. */
SALVUNE_API int SALVUNE_SaveToBmp(const unsigned char *image, int width, int height,
                                  const char *path);

#ifdef __cplusplus
}
#endif

#endif
