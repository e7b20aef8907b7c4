#include <climits>
#include <cstddef>

#include "bmp_format.h"
#include "finger_blobs.h"
#include "salvune.h"

static_assert(sizeof(SplitFingerInfo) == 24, "scanbench passes 24-byte records");
static_assert(offsetof(SplitFingerInfo, image) == 16, "scanbench sets the image at byte 16");

namespace {
// The slap size of the last Init; 0 x 0 before Init and after Uninit.
int g_width = 0, g_height = 0;
}  // namespace

extern "C" {

int SALVUNE_Init(int width, int height, int /*mode*/) {
  if (width <= 0 || height <= 0) return -1;
  g_width = width;
  g_height = height;
  return 1;
}

int SALVUNE_Uninit(void) {
  g_width = g_height = 0;
  return 1;
}

int SALVUNE_DoSplit(const unsigned char *image, int width, int height, int /*mode*/, int fingerW,
                    int fingerH, int *count, SplitFingerInfo *records) {
  if (g_width == 0) return -2;
  if (!image || !count || !records || width != g_width || height != g_height || fingerW <= 0 ||
      fingerH <= 0 || fingerW > INT_MAX / fingerH)
    return -1;
  for (int i = 0; i < SALVUNE_MAX_FINGERS; ++i)
    if (!records[i].image) return -1;
  const auto blobs = salvune::FindFingerBlobs(image, width, height, SALVUNE_MAX_FINGERS);
  for (size_t i = 0; i < blobs.size(); ++i) {
    SplitFingerInfo &r = records[i];
    salvune::CutFinger(image, width, height, blobs[i], fingerW, fingerH, r.image, &r.x, &r.y);
    r.width = blobs[i].right - blobs[i].left;
    r.height = blobs[i].bottom - blobs[i].top;
  }
  *count = static_cast<int>(blobs.size());
  return 1;
}

int SALVUNE_JudegeFingers(const unsigned char *image, int width, int height, int *count) {
  if (!image || !count || width <= 0 || height <= 0) return -1;
  *count = static_cast<int>(
      salvune::FindFingerBlobs(image, width, height, SALVUNE_MAX_FINGERS).size());
  return 1;
}

int SALVUNE_SaveToBmp(const unsigned char *image, int width, int height, const char *path) {
  if (!image || !path || width <= 0 || height <= 0 || width > USHRT_MAX || height > USHRT_MAX)
    return -1;
  return belnor::WriteBmpFile(image, static_cast<unsigned short>(width),
                              static_cast<unsigned short>(height), path, 8) == 1
             ? 1
             : -1;
}

}  // extern "C"
