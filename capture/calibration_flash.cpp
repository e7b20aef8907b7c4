// Calibration bytes from the scanner's flash.
#include "calibration_flash.h"

#include "livescan.h"

namespace belnor {

bool ReadCalibrationArea(uint32_t address, uint8_t *buffer, size_t length) {
  if (length > 0xFFFFu) return false;
  return ReadVendorData(0, buffer, address, unsigned(length)) == 1;
}

}  // namespace belnor

// Until the vendor protocol's export is linked in, the flash reads as failed,
// which selects the built-in grid. The real ReadVendorData replaces this.
extern "C" LIVESCAN_API __attribute__((weak)) int ReadVendorData(int, void *, unsigned, unsigned) {
  return -101;
}
