// The one flash read the calibration loader makes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace belnor {

// length bytes at a flash address of the open scanner; false when the read
// fails or is short.
bool ReadCalibrationArea(uint32_t address, uint8_t *buffer, size_t length);

}  // namespace belnor
