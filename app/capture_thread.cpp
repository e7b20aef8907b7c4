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

// Frames the mosaic library stitches: what its finger test and its image
// take. Other windows are shown unstitched in the rolled mode.
bool MosaicTakes(int width, int height) {
  return width >= 256 && width <= 800 && width % 16 == 0 && height >= 360 && height <= 750;
}

}  // namespace

bool DeliveredWindow(int *width, int *height) {
  int x = 0, y = 0, w = 0, h = 0;
  if (belnor.LIVESCAN_GetCaptWindow(0, &x, &y, &w, &h) != 1) return false;
  if (w <= 0 || h <= 0 || int64_t(w) * h > kImageBufferSize) return false;
  *width = w;
  *height = h;
  return true;
}

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
    int w = 0, h = 0;
    const bool slap = g_ImgW == kSlapWidth;
    const int rc = DeliveredWindow(&w, &h) ? belnor.LIVESCAN_GetFPRawData(0, raw.get()) : 0;
    belnor.LIVESCAN_EndCapture(0);
    if (rc == 1) {
      // A print being stitched is on screen at its size; a frame of another
      // size ends it.
      if (g_nRollMode == kRollMode && MosaicTakes(w, h) && quisal.MOSAIC_IsFinger &&
          quisal.MOSAIC_Start && quisal.MOSAIC_Stop &&
          (!mosaicking || (w == g_CurW && h == g_CurH))) {
        if (mosaicking) {
          int m;
          {
            // The mosaic library writes the print on screen in place.
            std::lock_guard<std::mutex> lock(g_Mutex);
            m = quisal.MOSAIC_DoMosaic(raw.get(), w, h);
          }
          if (m == 0) {
            quisal.MOSAIC_Stop();
            mosaicking = false;
          } else if (m < 0) {
            show = raw.get();
            mosaicking = false;
          }
        } else if (quisal.MOSAIC_IsFinger(raw.get(), w, h) <= 0) {
          std::memset(raw.get(), 255, size_t(w) * size_t(h));
        } else {
          std::lock_guard<std::mutex> lock(g_Mutex);
          quisal.MOSAIC_Start(screen, w, h);
          g_CurW = w;
          g_CurH = h;
          g_CurSlap = false;
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
          if (show != screen) {
            std::memcpy(screen, show, size_t(w) * size_t(h));
            g_CurW = w;
            g_CurH = h;
            g_CurSlap = slap;
          }
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
  // The image on screen keeps its size until a frame of the new window
  // replaces it: a print being stitched lives in it, and the mosaic library
  // would never paint again what it already pasted.
  if (belnor.LIVESCAN_SetCaptWindow) belnor.LIVESCAN_SetCaptWindow(0, 0, 0, mode->width, mode->height);
  unsigned char lamps[3] = {mode->lamps[0], mode->lamps[1], mode->lamps[2]};
  if (belnor.LIVESCAN_AccessLamp) belnor.LIVESCAN_AccessLamp(0, lamps, 0);
}
