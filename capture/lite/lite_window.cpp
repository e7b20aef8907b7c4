// The reduced build's one capture window: 256 x 360, placed by the device
// type.
#include <mutex>

#include "capture_window.h"
#include "device_state.h"
#include "export_checks.h"
#include "livescan.h"
#include "lite_window.h"
#include "result_codes.h"
#include "variant.h"

namespace belnor {

void ApplyLiteWindowLocked(int x, int y) {
  CaptureWindow w{x, y, 256, 360, 0, 0};
  switch (g_nDevType) {
    case 1:
      if (x == 0 && y == 0) w.x = 192, w.y = 216;
      w.sensorWidth = 1424;
      w.sensorHeight = 984;
      break;
    case 2:
      w.x = w.y = 0;
      w.sensorWidth = 1280;
      w.sensorHeight = 720;
      break;
    case 5:
      if (x == 0 && y == 0) w.x = 672, w.y = 1076;
      w.sensorWidth = 2592;
      w.sensorHeight = 1944;
      break;
    default:
      return;
  }
  ApplyCaptureWindow(w);
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
  std::lock_guard<std::mutex> lock(g_CaptureLock);
  ApplyLiteWindowLocked(x, y);
  return LS_OK;
}

extern "C" LIVESCAN_API int LIVESCAN_InitEx(int index) {
  if (g_bInitialized) return LS_OK;
  const int r = InitCaptureDevice(index);
  return r == LS_OK ? LIVESCAN_SetCaptWindow(0, 0, 0, 256, 360) : r;
}
