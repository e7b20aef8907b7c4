// The reduced build's one capture window: 256 x 360, placed by the device
// type.
#include <algorithm>
#include <mutex>

#include "calibration.h"
#include "capture_window.h"
#include "device_state.h"
#include "export_checks.h"
#include "livescan.h"
#include "lite_window.h"
#include "result_codes.h"
#include "variant.h"

namespace belnor {

namespace {

constexpr int kLiteWidth = 256, kLiteHeight = 360;

// The 256 x 360 window at (x, y) on the open scanner's type; false for a type
// that keeps its window, or an explicit origin that would take the window
// out of the corrected image of the calibration in use (types 1 and 5 copy
// it from there). A default origin is kept inside that image.
bool ResolveLiteWindow(int x, int y, CaptureWindow *window) {
  CaptureWindow w{x, y, kLiteWidth, kLiteHeight, 0, 0};
  const bool defaultOrigin = x == 0 && y == 0;
  switch (g_nDevType) {
    case 1:
      if (defaultOrigin) w.x = 192, w.y = 216;
      w.sensorWidth = 1424;
      w.sensorHeight = 984;
      break;
    case 2:
      w.x = w.y = 0;
      w.sensorWidth = 1280;
      w.sensorHeight = 720;
      *window = w;
      return true;
    case 5:
      if (defaultOrigin) w.x = 672, w.y = 1076;
      w.sensorWidth = 2592;
      w.sensorHeight = 1944;
      break;
    default:
      return false;
  }
  const int maxX = g_RemapWidth - kLiteWidth, maxY = g_RemapHeight - kLiteHeight;
  if (defaultOrigin) {
    w.x = std::max(0, std::min(w.x, maxX));
    w.y = std::max(0, std::min(w.y, maxY));
  } else if (w.x > maxX || w.y > maxY) {
    return false;
  }
  *window = w;
  return true;
}

}  // namespace

void ApplyLiteWindowLocked(int x, int y) {
  CaptureWindow w{};
  if (ResolveLiteWindow(x, y, &w)) ApplyCaptureWindow(w);
}

// Init already holds the capture lock here: the window is set under it
// rather than between a release and a retake, so nothing can meet a device
// that is initialised but has no window yet.
void VariantAfterCameraProgrammed() { ApplyLiteWindowLocked(0, 0); }

}  // namespace belnor

using namespace belnor;

extern "C" LIVESCAN_API int LIVESCAN_SetCaptWindow(int channel, int x, int y, int width,
                                                   int height) {
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  if (width != 256 || height != 360 || unsigned(x) > 384 || unsigned(y) > 280 || BadChannel(channel))
    return LS_ERR_PARAM;
  std::lock_guard<FairLock> lock(g_CaptureLock);
  // Close may have run while this call waited for its turn.
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  CaptureWindow w{};
  if (ResolveLiteWindow(x, y, &w)) {
    ApplyCaptureWindow(w);
  } else if (g_nDevType == 1 || g_nDevType == 5) {
    return LS_ERR_PARAM;  // beyond the corrected image
  }
  return LS_OK;
}
