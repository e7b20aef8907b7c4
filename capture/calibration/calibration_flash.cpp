// Calibration bytes from the scanner's flash, through the vendor-area read.
#include "calibration_flash.h"

#include "livescan.h"
#include "result_codes.h"

namespace belnor {

bool ReadCalibrationArea(uint32_t address, uint8_t *buffer, size_t length) {
  if (length > 0xFFFFu) return false;
  return ReadVendorData(0, buffer, address, unsigned(length)) == LS_OK;
}

}  // namespace belnor
