// Ridge following on the thinned skeleton S (ridge 0, background 255).
// Neighbour code bits (set = background): 7 NW, 6 W, 5 SW, 4 S, 3 SE, 2 E, 1 NE, 0 N.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "int_geometry.h"

namespace minutiae {

struct SkeletonTables {
  uint8_t neighbourClass[256];  // crossing number
  int8_t stepY[256];            // first ridge neighbour: N, E, S, W, NE, SE, SW, NW
  int8_t stepX[256];
  uint8_t bridge[256];          // 255 for the narrow-bridge codes
};
const SkeletonTables &skeletonTables();
// Join tolerance by segment length 0..15.
extern const uint8_t g_joinTolerance[16];

int neighbourCode(const uint8_t *image, int width, int x, int y);

// Pixels of one trace, held in place: a trace takes at most 20 steps, and a
// spur check at most five.
class TracePixels {
 public:
  static constexpr size_t kCapacity = 32;
  bool push_back(Pixel p) {
    if (n_ == kCapacity) return false;
    p_[n_++] = p;
    return true;
  }
  size_t size() const { return n_; }
  bool empty() const { return n_ == 0; }
  const Pixel &back() const { return p_[n_ - 1]; }
  const Pixel &operator[](size_t k) const { return p_[k]; }
  const Pixel *begin() const { return p_; }
  const Pixel *end() const { return p_ + n_; }

 private:
  Pixel p_[kCapacity];
  size_t n_ = 0;
};

// One ridge trace: the erased pixels (for restoring) and the pixels reached.
struct Trace {
  TracePixels erased;
  TracePixels reached;  // reached[k-1] is the pixel after step k
  bool metJunction = false;    // a class-2 pixel called the spur resolution
  int Steps() const { return int(reached.size()); }
  Pixel Last(Pixel start) const { return reached.empty() ? start : reached.back(); }
};

class Skeleton {
 public:
  Skeleton(uint8_t *s, int width, int height) : s_(s), w_(width), h_(height) {}
  uint8_t *data() { return s_; }
  int width() const { return w_; }
  int height() const { return h_; }
  bool Inside(Pixel p) const { return p.x >= 1 && p.x <= w_ - 2 && p.y >= 1 && p.y <= h_ - 2; }
  uint8_t &At(Pixel p) { return s_[size_t(p.y) * w_ + p.x]; }
  int Code(Pixel p) const { return neighbourCode(s_, w_, p.x, p.y); }
  int Class(Pixel p) const { return skeletonTables().neighbourClass[Code(p)]; }

  // Ending trace: steps while the current pixel has class 1, at most n steps.
  Trace EndingTrace(Pixel start, int n);
  // Branch trace from a bifurcation; spurFrom is the first step that resolves
  // spurs at class-2 pixels (0: never), endFrom the first step at which a class
  // other than 1 or 2 (1 only, without spur resolution) ends the trace.
  Trace BranchTrace(Pixel start, int n, int spurFrom, int endFrom);
  void Restore(const Trace &t) {
    for (const Pixel &p : t.erased) At(p) = 0;
  }

 private:
  // Erases cur, records it and moves to its first ridge neighbour; false at a dead end.
  bool Step(Pixel &cur, Trace &t);
  // True when the trace may go on from cur (a dead-end spur was cut).
  bool ResolveSpur(Pixel cur);

  uint8_t *s_;
  int w_, h_;
};

}  // namespace minutiae
