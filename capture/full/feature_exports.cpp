// LIVESCAN_FeatureExtractMem (BMP checks and row flip around the extractor)
// and LIVESCAN_FeatureMatchMem.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "bmp_format.h"
#include "device_state.h"
#include "extract_driver.h"
#include "matcher.h"
#include "livescan.h"
#include "result_codes.h"
#include "thread_buffer.h"

using namespace belnor;

namespace {

constexpr int kMinBmpSize = 66614;   // 1078 + 256 x 256
constexpr int kMaxBmpSize = 410678;  // 1078 + 640 x 640

}  // namespace

extern "C" int LIVESCAN_FeatureExtractMem(const unsigned char *bmp, int bmpSize, unsigned char *feature) {
  if (!feature || !bmp || bmpSize < kMinBmpSize || bmpSize > kMaxBmpSize) return LS_ERR_PARAM;
  if (bmp[0] != 'B' || bmp[1] != 'M' || ReadLe16(bmp + 28) != 8) return LS_ERR_PARAM;
  const int32_t width = int32_t(ReadLe32(bmp + 18)), height = int32_t(ReadLe32(bmp + 22));
  if (width < 256 || width > 640 || height < 360 || height > 640) return LS_ERR_PARAM;
  // The header is trusted for the size, but never read past the buffer.
  if (int64_t(kBmpHeaderSize8) + int64_t(width) * height > bmpSize) return LS_ERR_PARAM;
  if (!g_bInitialized) return LS_ERR_NOT_INIT;

  std::vector<uint8_t> *pixels;
  try {
    pixels = &minutiae::threadBuffer<struct TopDownRows, uint8_t>();
    pixels->resize(size_t(width) * height);
  } catch (const std::bad_alloc &) {
    return LS_ERR_MEMORY;
  }
  const uint8_t *rows = bmp + kBmpHeaderSize8;
  for (int k = 0; k < height; ++k)
    std::memcpy(pixels->data() + size_t(k) * width, rows + size_t(height - 1 - k) * width, size_t(width));
  const int q = minutiae::extractFTemplate(pixels->data(), width, height, feature);
  if (q == minutiae::kTemplateNoMemory) return LS_ERR_MEMORY;
  return std::clamp(q, 0, 100);
}

extern "C" int LIVESCAN_FeatureMatchMem(const unsigned char *feature1, const unsigned char *feature2,
                                        float *score) {
  if (!feature1 || !feature2 || !score) return LS_ERR_PARAM;
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  *score = 0.0f;
  const int r = minutiae::matchFTemplates(feature1, feature2, score);
  if (r == minutiae::kMatchNoMemory) return LS_ERR_MEMORY;
  if (r < 0) return r;
  if (*score > 1.0f) *score = 1.0f;
  return LS_OK;
}
