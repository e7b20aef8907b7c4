// Calibration records as the factory writes them into a scanner's flash.
#pragma once

#include <cstdint>
#include <vector>

#include "calibration_record.h"

namespace belnor::sim {

// Header and data of a grid: values in tenths of a pixel, rounded; crc
// chooses whether the CRC field is filled (else 0, not checked).
std::vector<uint8_t> EncodeCalibRecord(const CalibGrid &grid, int sensorWidth, int sensorHeight,
                                       bool crc = true);

// A 2 x 2 grid that maps the width x height corrected image onto the sensor
// shifted by (dx, dy): the corrected image is then an exact crop. width and
// height must be even so that no position is lowered.
CalibGrid TranslationGrid(int width, int height, float dx, float dy);

// The built-in grid of a device type as a stored record (its points are in
// tenths of a pixel, so the record loads to the very same maps).
std::vector<uint8_t> BuiltinCalibRecord(int deviceType);

}  // namespace belnor::sim
