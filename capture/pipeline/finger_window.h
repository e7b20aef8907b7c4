// Where a window of a given size sits around the finger, and the rule that
// keeps it where the finger was first found.
#pragma once

#include <cstdint>

#include "image_analysis.h"

namespace belnor {

// Origin of a W x H window around the finger in a width x height image.
// Found (1): centred on the finger's box, 8 rows above its centre, limited
// to the image. Not found (0): the centred column and currentRow, limited to
// the image (to 0 where the window is larger). region, when given, receives
// the finger's box.
int FindFingerWindow(AnalysisContext &ctx, const uint8_t *image, int width, int height, int W,
                     int H, int currentRow, int *x, int *y, Rectangle *region);

// Follows the finger from frame to frame: while the finger stays, the window
// keeps the origin of the frame that first showed it; a frame without a
// finger lets the next one anchor again. A change of window or image size
// starts afresh.
class WindowTracker {
 public:
  // 3 with the kept (or new) origin when a finger lies on the image, 2 with
  // FindFingerWindow's fallback when none does.
  int Place(AnalysisContext &ctx, const uint8_t *image, int width, int height, int W, int H,
            int currentRow, int *x, int *y);
  void Reset() { anchored_ = false; }

 private:
  bool anchored_ = false;
  int x_ = 0, y_ = 0;
  int sizes_[4] = {};  // W, H, width, height of the anchored search
};

}  // namespace belnor
