// Geometric calibration: the maps from corrected image to sensor frame that
// the frame pipeline resamples every frame through.
#pragma once

#include <cstdint>

#include "remap.h"

namespace belnor {

// Per corrected pixel (row-major, g_RemapWidth per row) the sensor column and
// row in 8.8 fixed point. Null until LoadGeometricCalibration builds them
// and after FreeRemapMaps; device type 3 has none.
extern int32_t *g_RemapX;
extern int32_t *g_RemapY;
// Corrected-image size (640 x 640 until a calibration is loaded).
extern int g_RemapWidth;
extern int g_RemapHeight;

// Reads the scanner's stored calibration (or takes the built-in grid of the
// device type when it is missing or implausible) and builds the maps.
// 1 on success, 0 when the maps cannot be allocated.
int LoadGeometricCalibration();

// Frees both maps and sets them to null.
void FreeRemapMaps();

}  // namespace belnor
