// LIVESCAN_GetPreviewData: the half-size preview of type 5, built on the
// frame fetch.
#include <vector>

#include "device_state.h"
#include "livescan.h"
#include "no_throw.h"
#include "result_codes.h"

using namespace belnor;

namespace {

int GetPreviewData(int channel, unsigned char *buffer) {
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  if (g_nDevType != 5) return LS_ERR_NOT_IMPLEMENTED;
  int pw = 0, ph = 0;
  LIVESCAN_GetPreviewImageSize(channel, &pw, &ph);
  if (!buffer) return LS_ERR_PARAM;
  std::vector<uint8_t> frame;
  // The preview's size is checked against the window of the fetch's turn.
  auto halves = [&](const WindowSnapshot &w, uint8_t **to) {
    if (w.width / 2 != pw || w.height / 2 != ph) return int(LS_ERR_UNKNOWN);
    frame.resize(FrameBytes(w));
    *to = frame.data();
    return int(LS_OK);
  };
  WindowSnapshot w{};
  const int r = FetchWindowFrame(channel, MakeFrameTarget(halves), &w);
  if (r != LS_OK) return r;
  // Each preview pixel is the rounded mean of a 2 x 2 block of the frame.
  for (int y = 0; y < ph; ++y) {
    const uint8_t *a = frame.data() + size_t(2 * y) * w.width;
    const uint8_t *b = a + w.width;
    uint8_t *to = buffer + size_t(y) * pw;
    for (int x = 0; x < pw; ++x)
      to[x] = uint8_t((a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1] + 2) >> 2);
  }
  return r;
}

}  // namespace

extern "C" {

LIVESCAN_API int LIVESCAN_GetPreviewData(int channel, unsigned char *buffer) {
  return FailureOnThrow(LS_ERR_MEMORY, [&] { return GetPreviewData(channel, buffer); });
}

}  // extern "C"
