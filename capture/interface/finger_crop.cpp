// Caller-side fetch built on the frame fetch: the finger cut into a BMP.
#include <cstring>
#include <mutex>
#include <vector>

#include "bmp_format.h"
#include "device_state.h"
#include "finger_crop.h"
#include "finger_window.h"
#include "livescan.h"
#include "no_throw.h"
#include "result_codes.h"

namespace belnor {

namespace {

// The crop follows the finger across calls by the same rule as the frame
// pipeline, with a state of its own shared by every caller.
std::mutex g_CropLock;
WindowTracker g_CropTracker;

}  // namespace

int GetFingerCropBmp(int channel, unsigned char *bmp, int cropWidth, int cropHeight) {
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  WindowSnapshot w = LoadCaptureWindow();
  if (cropWidth < 256 || cropHeight < 256 || cropWidth > w.width || cropHeight > w.height)
    return LS_ERR_PARAM;
  if (!bmp) return LS_ERR_PARAM;

  std::vector<uint8_t> frame(size_t(w.width) * size_t(w.height));
  int r = FetchWindowFrame(channel, frame.data(), frame.size(), &w);
  if (r < 0) return r;
  // The window may have shrunk since it was read above.
  if (cropWidth > w.width || cropHeight > w.height) return LS_ERR_PARAM;

  const int64_t stride = BmpPaddedRowLength(cropWidth, 8);
  FillBmpHeader(bmp, int(kBmpHeaderSize8 + stride * cropHeight), cropWidth, cropHeight, 8);

  int x = 0, y = 0;
  if (cropWidth < w.width && cropHeight < w.height) {
    AnalysisContext ctx;
    std::lock_guard<std::mutex> hold(g_CropLock);
    // Without a finger the crop takes the window's row, kept inside the frame.
    r = g_CropTracker.Place(ctx, frame.data(), w.width, w.height, cropWidth, cropHeight, w.y, &x,
                            &y);
  }

  uint8_t *pixels = bmp + kBmpHeaderSize8;
  for (int row = 0; row < cropHeight; ++row) {
    uint8_t *to = pixels + size_t(cropHeight - 1 - row) * size_t(stride);
    std::memcpy(to, frame.data() + size_t(y + row) * w.width + x, size_t(cropWidth));
    std::memset(to + cropWidth, 0, size_t(stride - cropWidth));
  }
  return r;
}

}  // namespace belnor

using namespace belnor;

extern "C" {

LIVESCAN_API int LIVESCAN_GetFPBmpData(int channel, unsigned char *bmp) {
  return FailureOnThrow(LS_ERR_MEMORY, [&]() -> int {
    if (!g_bInitialized) return LS_ERR_NOT_INIT;
    const WindowSnapshot w = LoadCaptureWindow();
    if (!bmp) return LS_ERR_PARAM;
    if (w.width > 399 || w.height > 399) return GetFingerCropBmp(channel, bmp, 400, 400);
    const int r = GetFingerCropBmp(channel, bmp, w.width, w.height);
    return r > 0 ? LS_OK : r;
  });
}

}  // extern "C"
