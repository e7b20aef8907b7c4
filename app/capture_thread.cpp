#include "capture_thread.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "app_state.h"
#include "belnor_binding.h"
#include "capture_modes.h"
#include "quisal_binding.h"

std::atomic<bool> LoopRcvAndDraw::drawPending{false};

namespace {

// The library writes its whole capture window, which need not be the size
// asked for (a type 4 scanner keeps 2304 x 2304): a window the frame buffer
// cannot hold is not fetched.
bool WindowFitsFrameBuffer() {
  int x = 0, y = 0, width = 0, height = 0;
  if (belnor.LIVESCAN_GetCaptWindow(0, &x, &y, &width, &height) != 1) return false;
  return width > 0 && height > 0 && int64_t(width) * height <= kImageBufferSize;
}

}  // namespace

void LoopRcvAndDraw::run() {
  std::unique_ptr<unsigned char[]> raw(new (std::nothrow) unsigned char[kImageBufferSize]);
  if (!raw) return;
  std::memset(raw.get(), 255, kImageBufferSize);
  unsigned char *show = raw.get();
  bool mosaicking = false;
  // An update left pending by an earlier thread may never be drawn (its
  // window gone): this thread's images must not wait for it.
  drawPending = false;
  unsigned char *const screen = g_pImgBuf.get();

  while (!stop_) {
    if (belnor.LIVESCAN_BeginCapture(0) != 1) {
      msleep(10);
      continue;
    }
    g_MutexCap.lock();
    const int w = g_CurW, h = g_CurH;
    const int rc = WindowFitsFrameBuffer() ? belnor.LIVESCAN_GetFPRawData(0, raw.get()) : 0;
    belnor.LIVESCAN_EndCapture(0);
    if (rc == 1) {
      if (g_nRollMode == kRollMode && w == 640 && h == 640 && quisal.MOSAIC_IsFinger &&
          quisal.MOSAIC_Start && quisal.MOSAIC_Stop) {
        if (mosaicking) {
          int m;
          {
            // The mosaic library writes the print on screen in place.
            std::lock_guard<std::mutex> lock(g_Mutex);
            m = quisal.MOSAIC_DoMosaic(raw.get(), 640, 640);
          }
          if (m == 0) {
            quisal.MOSAIC_Stop();
            mosaicking = false;
          } else if (m < 0) {
            show = raw.get();
            mosaicking = false;
          }
        } else if (quisal.MOSAIC_IsFinger(raw.get(), 640, 640) <= 0) {
          std::memset(raw.get(), 255, 640 * 640);
        } else {
          std::lock_guard<std::mutex> lock(g_Mutex);
          quisal.MOSAIC_Start(screen, 640, 640);
          mosaicking = true;
          show = screen;
        }
      } else {
        show = raw.get();
        mosaicking = false;
      }
      g_MutexCap.unlock();
      if (screen) {
        {
          std::lock_guard<std::mutex> lock(g_Mutex);
          if (show != screen) std::memcpy(screen, show, size_t(w) * size_t(h));
        }
        if (!drawPending.exchange(true)) emit UpdateSignal(1);
      }
    } else {
      g_MutexCap.unlock();
      msleep(10);
    }
    ApplyModeChange();
  }
}

void LoopRcvAndDraw::ApplyModeChange() {
  // Taken and cleared at once, so that a click meanwhile is not lost.
  const int index = g_ChangeSize.exchange(-1);
  const CaptureMode *mode = CaptureModeAt(index);
  if (!mode) return;
  g_ImgW = mode->width;
  g_ImgH = mode->height;
  g_nRollMode = mode->rollMode;
  {
    // The image stays as it is: a print being stitched lives in it, and the
    // mosaic library would never paint again what it already pasted.
    std::lock_guard<std::mutex> lock(g_Mutex);
    g_CurW = mode->width;
    g_CurH = mode->height;
  }
  if (belnor.LIVESCAN_SetCaptWindow) belnor.LIVESCAN_SetCaptWindow(0, 0, 0, mode->width, mode->height);
  unsigned char lamps[3] = {mode->lamps[0], mode->lamps[1], mode->lamps[2]};
  if (belnor.LIVESCAN_AccessLamp) belnor.LIVESCAN_AccessLamp(0, lamps, 0);
}
