// Placement of the capture window in the corrected image.
#pragma once

#include <cstdint>

namespace belnor {

// Reflection about the anti-diagonal: source pixel (row i, column j) of the
// width x height src goes to row width - 1 - j, column height - 1 - i of dst,
// whose rows are height bytes long.
void AntiTranspose(uint8_t *dst, const uint8_t *src, int width, int height);

// Copies rows rows of rowLength bytes from src + columnOffset + rowOffset *
// srcStride (source rows srcStride apart) into dst, rows packed. 0 and
// nothing copied when the block does not lie inside the srcStride x srcRows
// source or a pointer is null; else 1.
int CopyWindow(uint8_t *dst, int rowLength, int rows, const uint8_t *src, int columnOffset,
               int rowOffset, int srcStride, int srcRows);

// The width x height window at (x, y) of a srcWidth x srcHeight image into
// dst, rows packed, never reading outside the image: the origin is first
// limited to the image (to 0 where the window is larger), then what the
// image does not cover is white.
void CopyWindowInside(uint8_t *dst, int width, int height, const uint8_t *src, int srcWidth,
                      int srcHeight, int x, int y);

// v limited to [0, max(0, limit)].
inline int LimitOrigin(int v, int limit) {
  if (v > limit) v = limit;
  return v < 0 ? 0 : v;
}

}  // namespace belnor
