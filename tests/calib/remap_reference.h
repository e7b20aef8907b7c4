// The remap written plainly, one pixel at a time, as the optimised one must
// behave.
#pragma once

#include <cstdint>

inline void RemapBilinearReference(uint8_t *dst, int width, int height, const uint8_t *src,
                                   int stride, const int32_t *mapX, const int32_t *mapY) {
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const int k = row * width + column;
      const int32_t X = mapX[k], Y = mapY[k];
      const uint8_t *p = src + (Y >> 8) * stride + (X >> 8);
      const int32_t fx = X % 256, fy = Y % 256;
      dst[k] = uint8_t(((p[0] * (256 - fx) + p[1] * fx) * (256 - fy) +
                        (p[stride] * (256 - fx) + p[stride + 1] * fx) * fy) >>
                       16);
    }
  }
}
