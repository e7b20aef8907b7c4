// The calibration maps of the open scanner, read from its flash at init.
#include "calibration.h"

#include <cstdlib>

#include "calibration_flash.h"
#include "calibration_loader.h"
#include "device_state.h"

namespace belnor {

int32_t *g_RemapX = nullptr;
int32_t *g_RemapY = nullptr;
int g_RemapWidth = 640;
int g_RemapHeight = 640;

void FreeRemapMaps() {
  std::free(g_RemapX);
  std::free(g_RemapY);
  g_RemapX = nullptr;
  g_RemapY = nullptr;
}

int LoadGeometricCalibration() {
  FreeRemapMaps();
  const uint32_t base = LoadFlashLayout().calibrationAddress;
  const CalibReader read = [base](uint32_t offset, uint8_t *buffer, size_t length) {
    return ReadCalibrationArea(base + offset, buffer, length);
  };
  LoadedCalibration loaded;
  if (!LoadCalibration(g_nDevType, g_SensorWidth, g_SensorHeight, read, &loaded)) return 0;
  g_RemapWidth = loaded.maps.width;
  g_RemapHeight = loaded.maps.height;
  g_RemapX = loaded.maps.x.release();
  g_RemapY = loaded.maps.y.release();
  return 1;
}

}  // namespace belnor
