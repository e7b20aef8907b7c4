// Bilinear resampling of a sensor frame through the calibration maps.
#pragma once

#include <cstdint>

namespace belnor {

// dst[k] for k = row * width + column: the frame sampled at (mapX[k],
// mapY[k]), 8.8 fixed point, with integer bilinear weights. Every map entry
// and its right and lower neighbour must lie inside the frame; the
// calibration loader builds only such maps.
void RemapBilinear(uint8_t *dst, int width, int height, const uint8_t *src, int srcStride,
                   const int32_t *mapX, const int32_t *mapY);

}  // namespace belnor
