// First extraction stages on 8-bit grey planes (row-major, stride = width).
#pragma once
#include <cstddef>
#include <cstdint>

namespace minutiae {

int smoothMean3x3(uint8_t *image, int width, int height);
// Mean over the (2r+1)^2 square clipped to the image.
int boxMean(uint8_t *image, int width, int height, int radius);
int normalizeLocalContrast(uint8_t *image, int width, int height);
// 1 when the image holds no usable finger.
int isBlankImage(const uint8_t *input, const uint8_t *smoothed, int width, int height);
// lastRowFromLast: the last row copies source row h-1 instead of h-2.
void smoothCross5(uint8_t *dst, const uint8_t *src, int width, int height, bool lastRowFromLast);

}  // namespace minutiae
