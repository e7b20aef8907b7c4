// LIVESCAN_SetCaptWindow (the reduced build has its own).
#include <mutex>

#include "calibration.h"
#include "capture_window.h"
#include "device_state.h"
#include "export_checks.h"
#include "livescan.h"
#include "result_codes.h"

using namespace belnor;

extern "C" int LIVESCAN_SetCaptWindow(int channel, int x, int y, int width, int height) {
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  if (BadChannel(channel)) return LS_ERR_PARAM;
  std::lock_guard<FairLock> lock(g_CaptureLock);
  // Close may have run while this call waited for its turn.
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  CaptureWindow w{};
  // The corrected image of the calibration in use, which init loaded.
  const ImageSize corrected{g_RemapWidth, g_RemapHeight};
  switch (ResolveCaptureWindow(g_nDevType, x, y, width, height, corrected, &w)) {
    case WindowChange::kRefused: return LS_ERR_PARAM;
    case WindowChange::kUnchanged: return LS_OK;
    case WindowChange::kApplied: break;
  }
  ApplyCaptureWindow(w);
  return LS_OK;
}
