// LIVESCAN_RawToBmp, LIVESCAN_BmpToRaw and LIVESCAN_SaveToFile.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "bmp_format.h"
#include "livescan.h"
#include "no_throw.h"
#include "result_codes.h"

using namespace belnor;

namespace {

// The largest image the conversions accept: below 2304 x 2304 pixels.
constexpr int64_t kMaxRawToBmpPixels = 5308416;
constexpr unsigned kMaxSaveDimension = 10000;

// Copies rows between top-down packed and bottom-up padded layouts.
void CopyRowsFlipped(const uint8_t *src, size_t srcStride, uint8_t *dst, size_t dstStride,
                     size_t width, int height) {
  for (int k = 0; k < height; ++k) {
    const uint8_t *from = src + size_t(height - 1 - k) * srcStride;
    std::memcpy(dst + size_t(k) * dstStride, from, width);
  }
}

}  // namespace

extern "C" int LIVESCAN_RawToBmp(const unsigned char *raw, int width, int height,
                                 unsigned char *bmp, int bmpSize) {
  if (width <= 3 || height <= 3) return LS_ERR_PARAM;
  if (int64_t(width) * height >= kMaxRawToBmpPixels) return LS_ERR_PARAM;
  if (!raw || !bmp) return LS_ERR_PARAM;
  const int64_t stride = BmpPaddedRowLength(width, 8);
  if (int64_t(bmpSize) < kBmpHeaderSize8 + stride * height) return LS_ERR_PARAM;

  WriteBmpHeaders(bmp, width, height, 8, kPpmRawToBmp);
  uint8_t *pixels = bmp + kBmpHeaderSize8;
  const size_t padding = size_t(stride - width);
  for (int k = 0; k < height; ++k) {
    uint8_t *row = pixels + size_t(k) * size_t(stride);
    std::memcpy(row, raw + size_t(height - 1 - k) * size_t(width), size_t(width));
    std::memset(row + width, 0, padding);
  }
  return LS_OK;
}

extern "C" int LIVESCAN_BmpToRaw(const unsigned char *bmp, int bmpSize, unsigned char *raw,
                                 int rawSize, int *width, int *height) {
  if (!bmp || bmpSize < 1080) return LS_ERR_PARAM;
  if (ReadLe32(bmp + 10) != uint32_t(kBmpHeaderSize8)) return LS_ERR_PARAM;
  if (bmp[0] != 'B' || bmp[1] != 'M') return LS_ERR_PARAM;
  const int32_t w = int32_t(ReadLe32(bmp + 18));
  const int32_t h = int32_t(ReadLe32(bmp + 22));
  if (w % 4 != 0) return LS_ERR_PARAM;
  // A negative size, or a header that claims more pixels than the buffer
  // holds, is refused before anything is reported or read.
  if (w < 0 || h < 0) return LS_ERR_PARAM;
  const int64_t pixelBytes = int64_t(w) * h;
  if (kBmpHeaderSize8 + pixelBytes > int64_t(bmpSize)) return LS_ERR_PARAM;

  if (width) *width = w;
  if (height) *height = h;
  if (int64_t(rawSize) < pixelBytes) return LS_ERR_MEMORY;
  if (!raw) return LS_ERR_PARAM;
  if (h <= 0) return LS_OK;
  CopyRowsFlipped(bmp + kBmpHeaderSize8, size_t(w), raw, size_t(w), size_t(w), h);
  return LS_OK;
}

namespace {

// LIVESCAN_SaveToFile.
int SaveToFile(const unsigned char *image, int width, int height, const char *path, int format) {
  if (!image || unsigned(width) > kMaxSaveDimension || unsigned(height) > kMaxSaveDimension ||
      !path || format < 0) {
    return LS_ERR_PARAM;
  }
  // Only an image at least as large as the headers can be looked at as a BMP.
  const bool bmpSized = int64_t(width) * height >= kBmpHeaderSize24;
  if (bmpSized && image[0] == 'B' && image[1] == 'M' && ReadLe16(image + 28) == 8 &&
      int32_t(ReadLe32(image + 18)) == width && int32_t(ReadLe32(image + 22)) == height) {
    const size_t total = size_t(kBmpHeaderSize8) + size_t(BmpPaddedRowLength(width, 8)) * size_t(height);
    FILE *file = std::fopen(path, "wb");
    if (!file) return LS_ERR_FILE;
    const bool wrote = std::fwrite(image, 1, total, file) == total;
    const bool closed = std::fclose(file) == 0;
    return wrote && closed ? LS_OK : LS_ERR_FILE;
  }
  return WriteBmpFile(image, static_cast<unsigned short>(width), static_cast<unsigned short>(height),
                      path, 8)
             ? LS_OK
             : LS_ERR_FILE;
}

}  // namespace

extern "C" int LIVESCAN_SaveToFile(const unsigned char *image, int width, int height,
                                   const char *path, int format) {
  return FailureOnThrow(LS_ERR_MEMORY,
                        [&] { return SaveToFile(image, width, height, path, format); });
}
