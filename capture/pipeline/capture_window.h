// Capture-window rules: which window and origin each device type delivers.
#pragma once

namespace belnor {

struct CaptureWindow {
  int x, y, width, height;
  int sensorWidth, sensorHeight;
};

struct ImageSize {
  int width, height;
};

enum class WindowChange {
  kApplied,    // *window holds the new window and sensor size
  kUnchanged,  // accepted, but the device type keeps its window (types 3, 4)
  kRefused,    // bad arguments, or a window the type cannot deliver
};

// Size of the built-in geometry-corrected image the window is cut from, by
// type (a stored calibration may give another).
ImageSize CorrectedImageSize(int devType);

// Range checks of the request alone: origin not negative, width 240..4096,
// height 280..3072, and the window inside 4096 x 3072.
bool WindowRequestInRange(int x, int y, int width, int height);

// The window a request yields on a device type. A type that copies the window
// out of the corrected image (1, 5) refuses a window that does not fit
// `corrected` (the size of the calibration in use) at its origin, and one
// that reaches the sensor size in one dimension only (that frame would pass
// through at sensor size). The sensor size itself is accepted as a
// pass-through window. Type 2 refuses a request smaller than its one window
// (256 x 360) in either dimension.
WindowChange ResolveCaptureWindow(int devType, int x, int y, int width, int height,
                                  ImageSize corrected, CaptureWindow *window);

// Makes w the capture window and sensor size. The caller holds
// g_CaptureLock.
void ApplyCaptureWindow(const CaptureWindow &w);

}  // namespace belnor
