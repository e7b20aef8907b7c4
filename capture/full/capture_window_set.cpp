// LIVESCAN_SetCaptWindow (the reduced build has its own).
#include <mutex>

#include "capture_window.h"
#include "device_state.h"
#include "export_checks.h"
#include "livescan.h"
#include "result_codes.h"

using namespace belnor;

extern "C" int LIVESCAN_SetCaptWindow(int channel, int x, int y, int width, int height) {
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  if (BadChannel(channel)) return LS_ERR_PARAM;
  std::lock_guard<std::mutex> lock(g_CaptureLock);
  CaptureWindow w{};
  switch (ResolveCaptureWindow(g_nDevType, x, y, width, height, &w)) {
    case WindowChange::kRefused: return LS_ERR_PARAM;
    case WindowChange::kUnchanged: return LS_OK;
    case WindowChange::kApplied: break;
  }
  ApplyCaptureWindow(w);
  return LS_OK;
}
