// The two per-block tests: ridge texture and ridge direction.
#include <algorithm>
#include <cstdlib>

#include "segment.h"

namespace quisal {

signed char mosaic_block_test(const unsigned char *frame, int W, int H, int x, int y, int mode) {
  if (mode == kTextureTest) return mosaic_block_texture(frame, W, x, y);
  return mosaic_block_direction(frame, W, H, x, y);
}

signed char mosaic_block_texture(const unsigned char *frame, int W, int x, int y) {
  int count = 0;
  for (int row = y; row < y + 16; ++row) {
    const unsigned char *p = frame + static_cast<long>(row) * W + x;
    for (int k = 0; k < 14; ++k) count += std::abs(p[k] - p[k + 2]) > 24;
  }
  if (count > 44) return 1;
  if (count <= 15) return 0;
  for (int row = y; row < y + 14; ++row) {
    const unsigned char *p = frame + static_cast<long>(row) * W + x;
    const unsigned char *q = p + 2L * W;
    for (int c = 0; c < 16; ++c) count += std::abs(p[c] - q[c]) > 24;
    if (count > 55) return 1;
  }
  return 0;
}

namespace {

// Pixel pair offsets (dc, dr) of the eight directions, first and second pixel.
struct PairOffsets {
  int c1, r1, c2, r2;
};
const PairOffsets kDirectionPairs[8] = {
    {-1, -1, 1, -1}, {-2, 0, 2, -2}, {-1, 0, 1, -2}, {-1, 1, 1, -3},
    {0, 0, 0, -2},   {1, 1, -1, -3}, {1, 0, -1, -2}, {2, 0, -2, -2},
};

}  // namespace

signed char mosaic_block_direction(const unsigned char *frame, int W, int H, int x, int y) {
  // The pairs reach two pixels beyond the block on every side.
  auto pixel = [&](int c, int r) {
    c = std::clamp(c, 0, W - 1);
    r = std::clamp(r, 0, H - 1);
    return static_cast<int>(frame[static_cast<long>(r) * W + c]);
  };
  int sums[8] = {};
  for (int r = y + 1; r <= y + 16; ++r) {
    for (int c = x; c <= x + 14; c += 2) {
      for (int d = 0; d < 8; ++d) {
        const PairOffsets &o = kDirectionPairs[d];
        sums[d] += std::abs(pixel(c + o.c1, r + o.r1) - pixel(c + o.c2, r + o.r2));
      }
    }
  }
  int g = 0;
  int smallest = sums[0];
  for (int d = 1; d < 8; ++d) {
    if (sums[d] > sums[g]) g = d;
    smallest = std::min(smallest, sums[d]);
  }
  if (sums[g] - smallest < 2048) return 0;
  const int direction = g + 1;
  return static_cast<signed char>(direction < 5 ? direction + 4 : direction - 4);
}

}  // namespace quisal
