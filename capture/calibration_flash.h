// The one flash read the calibration loader makes.
#pragma once

#include <cstddef>
#include <cstdint>

// Vendor-area read of the interface (flash protocol of the open scanner).
extern "C" int ReadVendorData(int channel, void *buffer, unsigned address, unsigned length);

namespace belnor {

// length bytes at a flash address; false when the read fails or is short.
bool ReadCalibrationArea(uint32_t address, uint8_t *buffer, size_t length);

}  // namespace belnor
