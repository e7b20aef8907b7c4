// Summed-area table of a byte plane: window sums in constant time whatever
// the window size (the contrast normalisation uses radii up to 319).
#pragma once
#include <cstdint>
#include <new>
#include <vector>

namespace minutiae {

class PlaneSums {
 public:
  bool Build(const uint8_t *image, int w, int h) {
    w_ = w;
    try {
      s_.assign(size_t(w + 1) * (h + 1), 0);
    } catch (const std::bad_alloc &) {
      return false;
    }
    for (int y = 0; y < h; ++y) {
      uint32_t row = 0;
      for (int x = 0; x < w; ++x) {
        row += image[size_t(y) * w + x];
        s_[Idx(x + 1, y + 1)] = s_[Idx(x + 1, y)] + row;
      }
    }
    return true;
  }
  // Inclusive rectangle.
  uint32_t Sum(int x0, int y0, int x1, int y1) const {
    return s_[Idx(x1 + 1, y1 + 1)] - s_[Idx(x0, y1 + 1)] - s_[Idx(x1 + 1, y0)] + s_[Idx(x0, y0)];
  }

 private:
  size_t Idx(int x, int y) const { return size_t(y) * (w_ + 1) + x; }
  int w_ = 0;
  std::vector<uint32_t> s_;
};

}  // namespace minutiae
