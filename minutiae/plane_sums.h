// Summed-area table of a plane or cell grid: window sums in constant time whatever
// the window size (the contrast normalisation uses radii up to 319).
#pragma once
#include <cstdint>
#include <vector>

namespace minutiae {

template <typename SumT>
class SummedArea {
 public:
  // Throws std::bad_alloc; the table keeps its storage for the next build.
  template <typename T>
  void Build(const T *image, int w, int h) {
    w_ = w;
    s_.assign(size_t(w + 1) * (h + 1), 0);
    for (int y = 0; y < h; ++y) {
      const T *in = image + size_t(y) * w;
      const SumT *above = &s_[Idx(1, y)];
      SumT *out = &s_[Idx(1, y + 1)];
      SumT row = 0;
      for (int x = 0; x < w; ++x) {
        row += in[x];
        out[x] = above[x] + row;
      }
    }
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
