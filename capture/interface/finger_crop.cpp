// Caller-side fetch built on the frame fetch: the finger cut into a BMP.
#include <cstring>
#include <mutex>
#include <vector>

#include "bmp_format.h"
#include "device_state.h"
#include "finger_window.h"
#include "livescan.h"
#include "no_throw.h"
#include "result_codes.h"

using namespace belnor;

namespace {

// The crop follows the finger across calls by the same rule as the frame
// pipeline, with a state of its own shared by every caller.
std::mutex g_CropLock;
WindowTracker g_CropTracker;

struct CropSize {
  int width, height;
};

// 400 x 400 from a window larger than 399 in either dimension, else the
// whole window; false when that crop does not fit the window or is smaller
// than 256 in either dimension.
bool CropOf(const WindowSnapshot &w, CropSize *crop) {
  if (w.width > 399 || w.height > 399)
    *crop = {400, 400};
  else
    *crop = {w.width, w.height};
  return crop->width >= 256 && crop->height >= 256 && crop->width <= w.width &&
         crop->height <= w.height;
}

size_t BmpBytes(const CropSize &crop) {
  return kBmpHeaderSize8 + size_t(BmpPaddedRowLength(crop.width, 8)) * size_t(crop.height);
}

// Bytes of the BMP a window gives; 0 for a window that gives none.
size_t BmpBytesOf(const WindowSnapshot &w) {
  CropSize crop{};
  return CropOf(w, &crop) ? BmpBytes(crop) : 0;
}

// One frame cut around the finger into an 8-bit BMP (padding zeroed), the
// crop sized for the window of the fetch's turn, which *fetched receives:
// 1 when the crop is the whole window, else 3 (finger found) or 2 (none);
// -5, -1, -101 when that BMP is larger than the one of the window in force
// at the call (which the host sized bmp for), or the fetch's error.
int GetFingerCropBmp(int channel, unsigned char *bmp, WindowSnapshot *fetched) {
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  if (!bmp) return LS_ERR_PARAM;
  const size_t capacity = BmpBytesOf(LoadCaptureWindow());
  std::vector<uint8_t> frame;
  CropSize crop{};
  // Chosen in the fetch's turn, so that the crop answers for the window the
  // frame is taken at.
  auto fits = [&](const WindowSnapshot &w, uint8_t **buffer) {
    if (!CropOf(w, &crop)) return LS_ERR_PARAM;
    if (BmpBytes(crop) > capacity) return LS_ERR_UNKNOWN;
    frame.resize(FrameBytes(w));
    *buffer = frame.data();
    return LS_OK;
  };
  WindowSnapshot &w = *fetched;
  int r = FetchWindowFrame(channel, MakeFrameTarget(fits), &w);
  if (r < 0) return r;

  const int64_t stride = BmpPaddedRowLength(crop.width, 8);
  FillBmpHeader(bmp, int(BmpBytes(crop)), crop.width, crop.height, 8);

  int x = 0, y = 0;
  if (crop.width < w.width && crop.height < w.height) {
    AnalysisContext ctx;
    std::lock_guard<std::mutex> hold(g_CropLock);
    // Without a finger the crop takes the window's row, kept inside the frame.
    r = g_CropTracker.Place(ctx, frame.data(), w.width, w.height, crop.width, crop.height, w.y, &x,
                            &y);
  }

  uint8_t *pixels = bmp + kBmpHeaderSize8;
  for (int row = 0; row < crop.height; ++row) {
    uint8_t *to = pixels + size_t(crop.height - 1 - row) * size_t(stride);
    std::memcpy(to, frame.data() + size_t(y + row) * w.width + x, size_t(crop.width));
    std::memset(to + crop.width, 0, size_t(stride - crop.width));
  }
  return r;
}

}  // namespace

extern "C" {

LIVESCAN_API int LIVESCAN_GetFPBmpData(int channel, unsigned char *bmp) {
  return FailureOnThrow(LS_ERR_MEMORY, [&]() -> int {
    WindowSnapshot fetched{};
    const int r = GetFingerCropBmp(channel, bmp, &fetched);
    // A 400 x 400 crop tells whether it found the finger; a smaller window
    // is given whole.
    if (r > 0 && fetched.width <= 399 && fetched.height <= 399) return LS_OK;
    return r;
  });
}

}  // extern "C"
