#include "capture_window.h"

#include <cstdint>

#include "device_state.h"
#include "export_checks.h"
#include "livescan.h"
#include "result_codes.h"

namespace belnor {

namespace {

// A frame at least as large as the sensor in both dimensions passes through
// the pipeline unchanged, so only the exact sensor size is window-sized;
// anything smaller is copied out of the corrected image at its origin.
// Sums in 64 bits: an origin near INT_MAX must not wrap into range.
bool Deliverable(const CaptureWindow &w, ImageSize corrected) {
  if (w.width >= w.sensorWidth || w.height >= w.sensorHeight)
    return w.width == w.sensorWidth && w.height == w.sensorHeight;
  return int64_t(w.x) + w.width <= corrected.width && int64_t(w.y) + w.height <= corrected.height;
}

void DefaultOriginType1(CaptureWindow *w) {
  if (w->width == 256 && w->height == 360) {
    w->x = 192;
    w->y = 216;
  } else if (w->width == 400 && w->height == 400) {
    w->x = 120;
    w->y = 120;
  } else {
    w->x = 0;
    w->y = 0;
  }
}

void DefaultOriginType5(CaptureWindow *w) {
  w->x = (1600 - w->width) / 2;
  if (w->x < 0) w->x = 0;
  w->y = 1436 - w->height;
  if (w->y < 0) w->y = 0;
}

}  // namespace

ImageSize CorrectedImageSize(int devType) {
  switch (devType) {
    case 2: return {360, 258};
    case 4: return {2304, 2304};
    case 5: return {1600, 1500};
    default: return {640, 640};
  }
}

bool WindowRequestInRange(int x, int y, int width, int height) {
  if (x < 0 || y < 0) return false;
  if (width < 240 || width > 4096 || height < 280 || height > 3072) return false;
  return int64_t(x) + width <= 4096 && int64_t(y) + height <= 3072;
}

WindowChange ResolveCaptureWindow(int devType, int x, int y, int width, int height,
                                  ImageSize corrected, CaptureWindow *window) {
  if (!WindowRequestInRange(x, y, width, height)) return WindowChange::kRefused;
  CaptureWindow w{x, y, width, height, 0, 0};
  switch (devType) {
    case 2:
      // The type-2 optics give one window; only the full sensor frame is an
      // alternative. A smaller request is refused: the host sized its buffer
      // for what it asked, and the window would not fit it.
      if (!(width == 1280 && height == 720) && (width < 256 || height < 360))
        return WindowChange::kRefused;
      w.x = w.y = 0;
      w.sensorWidth = 1280;
      w.sensorHeight = 720;
      if (!(width == 1280 && height == 720)) {
        w.width = 256;
        w.height = 360;
      }
      *window = w;
      return WindowChange::kApplied;
    case 1:
      w.sensorWidth = 1424;
      w.sensorHeight = 984;
      if (x == 0 && y == 0) DefaultOriginType1(&w);
      break;
    case 5:
      w.sensorWidth = 2592;
      w.sensorHeight = 1944;
      if (x == 0 && y == 0) DefaultOriginType5(&w);
      break;
    default:
      return WindowChange::kUnchanged;
  }
  if (!Deliverable(w, corrected)) return WindowChange::kRefused;
  *window = w;
  return WindowChange::kApplied;
}

void ApplyCaptureWindow(const CaptureWindow &w) {
  StoreCaptureWindow(w.x, w.y, w.width, w.height);
  g_SensorWidth = w.sensorWidth;
  g_SensorHeight = w.sensorHeight;
}

}  // namespace belnor

using namespace belnor;

extern "C" int LIVESCAN_GetMaxImageSize(int channel, int *width, int *height) {
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  if (BadChannel(channel) || !width || !height) return LS_ERR_PARAM;
  switch (g_nDevType) {
    case 1: *width = 640, *height = 640; break;
    case 2: *width = 256, *height = 360; break;
    case 4: *width = 2304, *height = 2304; break;
    case 5: *width = 1600, *height = 1500; break;
    default: break;
  }
  return LS_OK;
}

extern "C" int LIVESCAN_GetCaptWindow(int channel, int *x, int *y, int *width, int *height) {
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  if (BadChannel(channel) || !x || !y || !width || !height) return LS_ERR_PARAM;
  // Whole: a host sizes its buffers from this answer.
  const WindowSnapshot w = LoadCaptureWindow();
  *x = w.x;
  *y = w.y;
  *width = w.width;
  *height = w.height;
  return LS_OK;
}
