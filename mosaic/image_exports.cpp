// MOSAIC_IsFinger, the quality scores and MOSAIC_ImageEnhance.
#include <cstring>
#include <new>

#include "mosaic.h"
#include "mosaic_state.h"
#include "quality.h"
#include "result_codes.h"
#include "segment.h"

using namespace quisal;

namespace {

bool ValidImage(const unsigned char *image, int width, int height) {
  return image != nullptr && width >= 64 && width <= 2304 && height >= 64 && height <= 2304;
}

}  // namespace

int MOSAIC_ImageQuality(unsigned char *image, int width, int height) {
  if (!g_MosaicState.initialised) return MC_ERR_NOT_INIT;
  if (!ValidImage(image, width, height)) return MC_ERR_PARAM;
  return mosaic_image_quality(image, width, height);
}

int MOSAIC_FingerQuality(unsigned char *image, int width, int height) {
  if (!g_MosaicState.initialised) return MC_ERR_NOT_INIT;
  if (!ValidImage(image, width, height)) return MC_ERR_PARAM;
  return mosaic_score_finger(image, width, height);
}

int MOSAIC_ImageEnhance(unsigned char *src, int width, int height, unsigned char *dst) {
  if (!g_MosaicState.initialised) return MC_ERR_NOT_INIT;
  if (dst == nullptr || !ValidImage(src, width, height)) return MC_ERR_PARAM;
  if (src != dst) std::memmove(dst, src, static_cast<size_t>(width) * height);
  mosaic_stretch_grey(dst, width, height, 13, 252);
  return MC_OK;
}

int MOSAIC_IsFinger(unsigned char *image, int width, int height) {
  MosaicState &s = g_MosaicState;
  if (!s.initialised) return MC_ERR_NOT_INIT;
  if (image == nullptr || width < 256 || width > 2304 || height < 360 || height > 2304) {
    return MC_ERR_PARAM;
  }
  const size_t bytes = static_cast<size_t>(BlockColumns(width)) * BlockRows(height);
  // A map lost to a failed allocation is tried again, whatever size it had.
  if (!s.fingerTestMap || bytes != s.fingerTestBytes) {
    s.fingerTestBytes = bytes;
    s.fingerTestMap.reset();
    s.fingerTestMap.reset(new (std::nothrow) BlockMap[bytes]);
    if (!s.fingerTestMap) return MC_ERR_MEMORY;
  }
  BlockMap *map = s.fingerTestMap.get();
  const int found = mosaic_segment_finger_or_no_memory(image, width, height, map, map, kTextureTest);
  return found < 0 ? found : (found > 0 ? 1 : 0);
}
