// Geometric calibration: the remap tables from sensor to corrected image.
#pragma once

namespace belnor {

// Loads the scanner's calibration (or the built-in grid) into the remap
// tables. 1 on success.
int LoadGeometricCalibration();
// Frees the remap tables.
void FreeRemapMaps();

}  // namespace belnor
