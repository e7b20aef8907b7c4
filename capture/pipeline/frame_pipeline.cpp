#include "frame_pipeline.h"

#include <cstring>
#include <memory>
#include <new>

#include "bright_level.h"
#include "calibration.h"
#include "image_attr.h"
#include "remap.h"
#include "window_copy.h"

namespace belnor {

namespace {

// Only the worker uses it, between StartFramePipeline and StopFramePipeline.
std::unique_ptr<FramePipeline> g_Pipeline;

}  // namespace

FrameSettings CurrentFrameSettings() {
  const unsigned flags = LoadAttrFlags();
  FrameSettings s{};
  s.devType = g_nDevType;
  s.window = LoadCaptureWindow();
  s.remapWidth = g_RemapWidth;
  s.remapHeight = g_RemapHeight;
  s.mapX = g_RemapX;
  s.mapY = g_RemapY;
  s.autoAdjust = flags & kAttrAutoAdjust;
  s.clearBackground = flags & kAttrClearBackground;
  s.autoPosition = flags & kAttrAutoPosition;
  return s;
}

int FramePipeline::Process(const FrameSettings &s, const uint8_t *frame, int sensorWidth,
                           int sensorHeight, uint8_t *out, int *outWidth, int *outHeight) {
  const int W = s.window.width, H = s.window.height;
  const int RW = s.remapWidth, RH = s.remapHeight;
  *outWidth = W;
  *outHeight = H;
  if (RW <= 0 || RH <= 0 || W <= 0 || H <= 0) return 0;
  const size_t pixels = size_t(RW) * size_t(RH);

  // Geometry: the corrected image K.
  uint8_t *K = corrected_.get(pixels);
  if (s.devType == 3) {
    CopyWindowInside(K, RW, RH, frame, sensorWidth, sensorHeight, (sensorWidth - RW) / 2,
                     (sensorHeight - RH) / 2);
  } else if (s.mapX && s.mapY) {
    RemapBilinear(K, RW, RH, frame, sensorWidth, s.mapX, s.mapY);
  } else {
    std::memset(K, 255, pixels);
  }

  // Type 2 delivers K reflected about its anti-diagonal; the background is
  // cleared in that final orientation, which the clearing's probes expect.
  uint8_t *image = K;
  int iw = RW, ih = RH;
  if (s.devType == 2) {
    image = turned_.get(pixels);
    AntiTranspose(image, K, RW, RH);
    iw = RH;
    ih = RW;
  }

  int level = 0;
  if (s.autoAdjust) level = AutoAdjustLevels(s.devType, K, RW, RH);
  if (s.clearBackground) {
    if (level == 0) level = EstimateBackgroundLevel(image, iw, ih);
    ClearBackground(clear_, image, iw, ih, uint8_t(level));
  }

  int x = s.window.x, y = s.window.y;
  switch (s.devType) {
    case 1: {
      int result = 1;
      if (s.autoPosition && !(W > 639 && H > 639))
        result = tracker_.Place(analysis_, K, RW, RH, W, H, s.window.y, &x, &y);
      CopyWindowInside(out, W, H, K, RW, RH, x, y);
      return result;
    }
    case 2: {
      // Centred; the window origin plays no part.
      const int cx = (iw - W) / 2, cy = (ih - H) / 2;
      if (!CopyWindow(out, W, H, image, cx, cy, iw, ih))
        CopyWindowInside(out, W, H, image, iw, ih, cx, cy);
      return 0;
    }
    case 3:
    case 4:
      CopyWindowInside(out, W, H, K, RW, RH, x, y);
      return 0;
    case 5:
      CopyWindowInside(out, W, H, K, RW, RH, x, y);
      return 1;
    default:
      return 0;
  }
}

int ProcessFrameCallback(const uint8_t *frame, int sensorWidth, int sensorHeight, uint8_t *out,
                         int *outWidth, int *outHeight) {
  if (!g_bInitialized) return 0;
  const FrameSettings s = CurrentFrameSettings();
  if (s.window.width < sensorWidth && s.window.height < sensorHeight) {
    if (!g_Pipeline) return 0;
    try {
      return g_Pipeline->Process(s, frame, sensorWidth, sensorHeight, out, outWidth, outHeight);
    } catch (const std::bad_alloc &) {
      // No room for the working images: this frame is dropped, the next
      // one tries again.
      *outWidth = *outHeight = 0;
      return 0;
    }
  }
  std::memcpy(out, frame, size_t(sensorWidth) * size_t(sensorHeight));
  *outWidth = sensorWidth;
  *outHeight = sensorHeight;
  return 1;
}

void StartFramePipeline() { g_Pipeline.reset(new FramePipeline); }

void StopFramePipeline() { g_Pipeline.reset(); }

}  // namespace belnor
