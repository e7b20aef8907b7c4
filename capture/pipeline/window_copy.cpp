#include "window_copy.h"

#include <cstddef>
#include <cstring>

namespace belnor {

void AntiTranspose(uint8_t *dst, const uint8_t *src, int width, int height) {
  for (int i = 0; i < height; ++i) {
    const uint8_t *row = src + size_t(i) * width;
    uint8_t *column = dst + (height - 1 - i);
    for (int j = 0; j < width; ++j) column[size_t(width - 1 - j) * height] = row[j];
  }
}

int CopyWindow(uint8_t *dst, int rowLength, int rows, const uint8_t *src, int columnOffset,
               int rowOffset, int srcStride, int srcRows) {
  if (!dst || !src) return 0;
  if (int64_t(srcStride) < int64_t(rowLength) + columnOffset ||
      int64_t(srcRows) < int64_t(rows) + rowOffset)
    return 0;
  if (rowLength <= 0 || rows <= 0 || columnOffset < 0 || rowOffset < 0) return 0;
  const uint8_t *from = src + columnOffset + size_t(rowOffset) * srcStride;
  for (int r = 0; r < rows; ++r)
    std::memcpy(dst + size_t(r) * rowLength, from + size_t(r) * srcStride, size_t(rowLength));
  return 1;
}

void CopyWindowInside(uint8_t *dst, int width, int height, const uint8_t *src, int srcWidth,
                      int srcHeight, int x, int y) {
  if (width <= 0 || height <= 0) return;
  x = LimitOrigin(x, srcWidth - width);
  y = LimitOrigin(y, srcHeight - height);
  const int cols = srcWidth - x < width ? (srcWidth - x > 0 ? srcWidth - x : 0) : width;
  const int rows = srcHeight - y < height ? (srcHeight - y > 0 ? srcHeight - y : 0) : height;
  for (int r = 0; r < height; ++r) {
    uint8_t *out = dst + size_t(r) * width;
    if (r < rows) {
      std::memcpy(out, src + size_t(y + r) * srcWidth + x, size_t(cols));
      std::memset(out + cols, 255, size_t(width - cols));
    } else {
      std::memset(out, 255, size_t(width));
    }
  }
}

}  // namespace belnor
