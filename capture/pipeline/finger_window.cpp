#include "finger_window.h"

#include "window_copy.h"

namespace belnor {

int FindFingerWindow(AnalysisContext &ctx, const uint8_t *image, int width, int height, int W,
                     int H, int currentRow, int *x, int *y, Rectangle *region) {
  Rectangle r{};
  int ox, oy, found;
  if (FindFingerRegion(ctx, image, width, height, &r) > 0) {
    ox = LimitOrigin((r.left + r.right) / 2 - W / 2, width - W);
    oy = LimitOrigin((r.top + r.bottom) / 2 - H / 2 - 8, height - H);
    if (region) *region = r;
    found = 1;
  } else {
    ox = LimitOrigin((width - W) / 2, width - W);
    oy = LimitOrigin(currentRow, height - H);
    found = 0;
  }
  if (x) *x = ox;
  if (y) *y = oy;
  return found;
}

int WindowTracker::Place(AnalysisContext &ctx, const uint8_t *image, int width, int height, int W,
                         int H, int currentRow, int *x, int *y) {
  const int sizes[4] = {W, H, width, height};
  for (int i = 0; i < 4; ++i)
    if (sizes[i] != sizes_[i]) {
      anchored_ = false;
      sizes_[i] = sizes[i];
    }
  int fx = 0, fy = 0;
  if (!FindFingerWindow(ctx, image, width, height, W, H, currentRow, &fx, &fy, nullptr)) {
    anchored_ = false;
    *x = fx;
    *y = fy;
    return 2;
  }
  if (!anchored_) {
    x_ = fx;
    y_ = fy;
    anchored_ = true;
  }
  *x = x_;
  *y = y_;
  return 3;
}

}  // namespace belnor
