// Grey-level stretch with dithering into the levels the stretch skips.
#include <cstdlib>

#include "quality.h"

namespace quisal {

namespace {

struct StretchTable {
  bool built = false;
  unsigned char out[256] = {};
  int gaps[128] = {};  // output levels no input level maps to
  int gapCount = 0;
};

// Built once per process, as the first caller's lo and hi say.
StretchTable g_StretchTable;

void BuildTable(StretchTable &t, int lo, int hi) {
  for (int v = 0; v < 256; ++v) {
    int e = 255;
    if (v <= lo) {
      e = 0;
    } else if (v < hi) {
      e = 255 * (v - lo) / (hi - lo);
    }
    t.out[v] = static_cast<unsigned char>(e);
  }
  for (int v = 0; v < 255 && t.gapCount < 128; ++v) {
    if (t.out[v] + 1 < t.out[v + 1]) t.gaps[t.gapCount++] = t.out[v] + 1;
  }
  t.built = true;
}

}  // namespace

void mosaic_stretch_grey(unsigned char *image, int W, int H, int lo, int hi) {
  StretchTable &t = g_StretchTable;
  if (!t.built) BuildTable(t, lo, hi);
  int counters[128] = {};
  const long total = static_cast<long>(W) * H;
  for (long n = 0; n < total; ++n) {
    const int e = t.out[image[n]];
    int level = e;
    for (int g = 0; g < t.gapCount; ++g) {
      const int distance = std::abs(e - t.gaps[g]);
      if (distance > 3) continue;
      const int period = distance <= 1 ? 6 : distance == 2 ? 11 : 7;
      if (++counters[g] % period == 0) level = t.gaps[g];
      break;
    }
    image[n] = static_cast<unsigned char>(level);
  }
}

}  // namespace quisal
