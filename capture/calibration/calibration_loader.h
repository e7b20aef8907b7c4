// The calibration loader without the device: the flash read is passed in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "calibration_maps.h"

namespace belnor {

// Reads length bytes at offset from the start of the calibration area;
// false when the read fails.
using CalibReader = std::function<bool(uint32_t offset, uint8_t *buffer, size_t length)>;

enum class CalibSource { kNone, kStored, kBuiltin };

struct LoadedCalibration {
  RemapMaps maps;  // no maps for a type without optics
  CalibSource source = CalibSource::kNone;
};

// Reads the stored grid through read, falls back to the type's built-in grid
// when it is missing or implausible, and builds the maps for a sensor of
// sensorWidth x sensorHeight. A type without optics gets 640 x 640 and no
// maps. 1 on success, 0 when the maps cannot be allocated.
int LoadCalibration(int deviceType, int sensorWidth, int sensorHeight, const CalibReader &read,
                    LoadedCalibration *out);

}  // namespace belnor
