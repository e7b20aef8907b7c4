// Summed-area table of a plane or cell grid: window sums in constant time whatever
// the window size (the contrast normalisation uses radii up to 319).
#pragma once
#include <cstdint>
#include <new>
#include <vector>

namespace minutiae {

template <typename SumT>
class SummedArea {
 public:
  template <typename T>
  bool Build(const T *image, int w, int h) {
    w_ = w;
    try {
      s_.assign(size_t(w + 1) * (h + 1), 0);
    } catch (const std::bad_alloc &) {
      return false;
    }
    for (int y = 0; y < h; ++y) {
      SumT row = 0;
      for (int x = 0; x < w; ++x) {
        row += image[size_t(y) * w + x];
        s_[Idx(x + 1, y + 1)] = s_[Idx(x + 1, y)] + row;
      }
    }
    return true;
  }
  // Inclusive rectangle.
  SumT Sum(int x0, int y0, int x1, int y1) const {
    return s_[Idx(x1 + 1, y1 + 1)] - s_[Idx(x0, y1 + 1)] - s_[Idx(x1 + 1, y0)] + s_[Idx(x0, y0)];
  }

 private:
  size_t Idx(int x, int y) const { return size_t(y) * (w_ + 1) + x; }
  int w_ = 0;
  std::vector<SumT> s_;
};

// Byte planes fit 32 bits (640 x 640 x 255).
using PlaneSums = SummedArea<uint32_t>;

}  // namespace minutiae
