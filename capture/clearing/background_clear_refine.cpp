// Refinement of the energy mask with a finger area found on 8 x 8 blocks of
// the half image: block darkness, smoothing, stretching, joining of broken
// runs, enlargement with rounded corners, and averaging into the mask.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "background_clear.h"

namespace belnor {

namespace {

// Horizontal sums of three (two at the ends) neighbours of one row.
void RowSums(const uint8_t *m, int width, uint16_t *s) {
  if (width == 1) {
    s[0] = m[0];
    return;
  }
  s[0] = uint16_t(m[0] + m[1]);
  for (int x = 1; x < width - 1; ++x) s[x] = uint16_t(m[x - 1] + m[x] + m[x + 1]);
  s[width - 1] = uint16_t(m[width - 2] + m[width - 1]);
}

}  // namespace

// In place with a ring of four rows of horizontal sums (rows y - 1 .. y + 2):
// a row's sums are taken before the row is overwritten, so every mean reads
// unsmoothed values.
void Smooth3x3(uint8_t *map, int width, int height, ScratchBuffer<uint16_t> &rowSums) {
  if (map == nullptr || width <= 0 || height <= 0) return;
  uint16_t *ring = rowSums.get(4 * size_t(width));
  auto sums = [&](int y) { return ring + size_t(y % 4) * width; };
  RowSums(map, width, sums(0));
  if (height > 1) RowSums(map + width, width, sums(1));
  for (int y = 0; y < height; ++y) {
    if (y + 2 < height) RowSums(map + size_t(y + 2) * width, width, sums(y + 2));
    const uint16_t *mid = sums(y);
    const uint16_t *up = y > 0 ? sums(y - 1) : mid;
    const uint16_t *down = y + 1 < height ? sums(y + 1) : mid;
    const int upOn = y > 0, downOn = y + 1 < height;
    const int rows = 1 + upOn + downOn;
    uint8_t *out = map + size_t(y) * width;
    // A missing row contributes nothing (its pointer aliases mid).
    auto value = [&](int x, int cols) {
      const int sum = upOn * up[x] + mid[x] + downOn * down[x];
      return uint8_t(sum / (rows * cols));
    };
    if (width == 1) {
      out[0] = value(0, 1);
      continue;
    }
    out[0] = value(0, 2);
    if (rows == 3) {
      for (int x = 1; x < width - 1; ++x) out[x] = uint8_t(uint16_t(up[x] + mid[x] + down[x]) / 9);
    } else {
      for (int x = 1; x < width - 1; ++x) out[x] = value(x, 3);
    }
    out[width - 1] = value(width - 1, 2);
  }
}

void CrossFilter(uint8_t *map, int width, int height, CrossMode mode,
                 ScratchBuffer<uint8_t> &scratch) {
  if (map == nullptr || width <= 0 || height <= 0) return;
  const size_t n = size_t(width) * height;
  uint8_t *src = scratch.get(n);
  std::memcpy(src, map, n);
  const bool minimum = mode == CrossMode::kMinimum;
  auto pick = [minimum](uint8_t a, uint8_t b) { return minimum ? std::min(a, b) : std::max(a, b); };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const size_t k = size_t(y) * width + x;
      uint8_t v = src[k];
      if (x > 0) v = pick(v, src[k - 1]);
      if (x + 1 < width) v = pick(v, src[k + 1]);
      if (y > 0) v = pick(v, src[k - width]);
      if (y + 1 < height) v = pick(v, src[k + width]);
      map[k] = v;
    }
}

namespace {
constexpr int kHigh = 119;  // block values above this count as finger
}  // namespace

// In place, raster order: a block between two blocks of the other kind at
// distance j takes the value of the one before it (left, or above near the
// left and right edges).
void JoinBlocks(uint8_t *b, int n, int r, int j) {
  if (b == nullptr) return;
  for (int k = 0; k < r; ++k)
    for (int c = 0; c < n; ++c) {
      uint8_t &v = b[size_t(k) * n + c];
      const bool high = v > kHigh;
      if (c >= j + 1 && c <= n - 2 - j) {
        const uint8_t before = b[size_t(k) * n + c - j], after = b[size_t(k) * n + c + j];
        if ((before > kHigh) != high && (after > kHigh) != high) v = before;
      } else if (k >= j + 1 && k <= r - 2 - j) {
        const uint8_t before = b[size_t(k - j) * n + c], after = b[size_t(k + j) * n + c];
        if ((before > kHigh) != high && (after > kHigh) != high) v = before;
      }
    }
}

// Right triangles with legs of 6 pixels in the corners of an empty block
// whose two neighbours on that corner are both set.
void PaintCornerTriangles(uint8_t *e, int w, const uint8_t *b, int n, int r) {
  if (e == nullptr || b == nullptr) return;
  for (int k = 0; k < r; ++k)
    for (int c = 0; c < n; ++c) {
      if (b[size_t(k) * n + c] != 0) continue;
      const int X = 8 * c, Y = 8 * k;
      const int left = c > 0 ? b[size_t(k) * n + c - 1] : 0;
      const int right = c + 1 < n ? b[size_t(k) * n + c + 1] : 0;
      const int upper = k > 0 ? b[size_t(k - 1) * n + c] : 0;
      const int lower = k + 1 < r ? b[size_t(k + 1) * n + c] : 0;
      auto paint = [&](int a, int bb, auto columns) {
        if (a == 0 || bb == 0) return;
        const uint8_t value = uint8_t((a + bb) >> 1);
        for (int t = 1; t <= 6; ++t) {
          int from, to;
          columns(t, from, to);
          std::memset(e + size_t(Y + t) * w + X + from, value, size_t(to - from + 1));
        }
      };
      // A missing neighbour counts as 0, so edge blocks paint nothing there.
      paint(right, lower, [](int t, int &f, int &l) { f = 7 - t; l = 6; });
      paint(upper, right, [](int t, int &f, int &l) { f = t; l = 6; });
      paint(left, lower, [](int t, int &f, int &l) { f = 0; l = t - 1; });
      paint(left, upper, [](int t, int &f, int &l) { f = 0; l = 6 - t; });
    }
}

bool RefineEdgeMap(ClearContext &ctx, const uint8_t *half, uint8_t *mask, int w, int h,
                   uint8_t L) {
  if (half == nullptr || mask == nullptr || w <= 0 || h <= 0) return false;
  const int n = w / 8, r = h / 8;
  const size_t blocks = size_t(n) * r;
  uint8_t *b = ctx.blocks.get(blocks);

  for (int k = 0; k < r; ++k)
    for (int c = 0; c < n; ++c) {
      int sum = 0;
      for (int y = 0; y < 8; ++y) {
        const uint8_t *p = half + size_t(8 * k + y) * w + 8 * c;
        for (int x = 0; x < 8; ++x) sum += p[x];
      }
      b[size_t(k) * n + c] = uint8_t(255 - sum / 64);
    }
  Smooth3x3(b, n, r, ctx.rowSums);
  if (L < 200) CrossFilter(b, n, r, CrossMode::kMinimum, ctx.scratch);
  CrossFilter(b, n, r, CrossMode::kMaximum, ctx.scratch);

  const size_t pixels = size_t(w) * h;
  uint8_t d = 255, e = 0;
  for (size_t k = 0; k < pixels; k += 6) {
    d = std::min(d, half[k]);
    e = std::max(e, half[k]);
  }
  if (e - d <= 64) return false;

  const int lo = 255 - e, hi = 235 - d;
  const float s = 255.0f / float(hi - lo);
  for (size_t k = 0; k < blocks; ++k) {
    const int v = b[k];
    b[k] = v <= lo ? 0 : v >= hi ? 255 : uint8_t(int(float(v - lo) * s));
  }
  JoinBlocks(b, n, r, 1);
  JoinBlocks(b, n, r, 2);

  uint8_t *E = ctx.enlarged.get(pixels);
  // The strips that no whole block covers stay 0.
  std::memset(E, 0, pixels);
  for (int k = 0; k < r; ++k)
    for (int y = 0; y < 8; ++y) {
      uint8_t *row = E + size_t(8 * k + y) * w;
      for (int c = 0; c < n; ++c) std::memset(row + 8 * c, b[size_t(k) * n + c], 8);
    }
  PaintCornerTriangles(E, w, b, n, r);
  Smooth3x3(E, w, h, ctx.rowSums);
  Smooth3x3(E, w, h, ctx.rowSums);
  for (size_t k = 0; k < pixels; ++k) mask[k] = uint8_t((mask[k] + E[k]) >> 1);
  return true;
}

}  // namespace belnor
