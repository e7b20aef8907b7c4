// Gradient energy of the half image: Sobel |gx| + |gy|, then a box mean over
// a square window shrunk at the borders, from running column sums.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "background_clear.h"

namespace belnor {
namespace {

// Exact n / d for n * d < 2^32 (here n <= 2040 d, d <= 33 x 33).
struct Reciprocal {
  uint64_t m;
  explicit Reciprocal(uint32_t d) : m((uint64_t(1) << 32) / d + 1) {}
  uint32_t divide(uint32_t n) const { return uint32_t((n * m) >> 32); }
};

// Missing neighbours outside the image are replaced by the centre row or
// column, so border values keep the scale of the interior.
void SobelEnergy(const uint8_t *half, int w, int h, uint16_t *out) {
  for (int y = 0; y < h; ++y) {
    const uint8_t *u = half + size_t(y > 0 ? y - 1 : 0) * w;
    const uint8_t *m = half + size_t(y) * w;
    const uint8_t *d = half + size_t(y + 1 < h ? y + 1 : y) * w;
    uint16_t *o = out + size_t(y) * w;
    auto at = [&](int x, int xl, int xr) {
      const int gx = (u[xr] + 2 * m[xr] + d[xr]) - (u[xl] + 2 * m[xl] + d[xl]);
      const int gy = (d[xl] + 2 * d[x] + d[xr]) - (u[xl] + 2 * u[x] + u[xr]);
      return uint16_t(std::abs(gx) + std::abs(gy));
    };
    if (w == 1) {
      o[0] = at(0, 0, 0);
      continue;
    }
    o[0] = at(0, 0, 1);
    for (int x = 1; x < w - 1; ++x) {
      const int gx = (u[x + 1] + 2 * m[x + 1] + d[x + 1]) - (u[x - 1] + 2 * m[x - 1] + d[x - 1]);
      const int gy = (d[x - 1] + 2 * d[x] + d[x + 1]) - (u[x - 1] + 2 * u[x] + u[x + 1]);
      o[x] = uint16_t(std::abs(gx) + std::abs(gy));
    }
    o[w - 1] = at(w - 1, w - 2, w - 1);
  }
}

}  // namespace

int EdgeEnergyMap(ClearContext &ctx, const uint8_t *half, int w, int h, uint8_t *mask,
                  int radius, uint8_t L) {
  if (half == nullptr || mask == nullptr || w <= 0 || h <= 0 || radius < 0 || radius > 16)
    return 0;
  const size_t n = size_t(w) * h;
  if (ctx.gradient.size() < n) ctx.gradient.resize(n);
  if (ctx.columnSum.size() < size_t(w)) ctx.columnSum.resize(size_t(w));
  uint16_t *g = ctx.gradient.data();
  uint32_t *col = ctx.columnSum.data();
  SobelEnergy(half, w, h, g);

  std::fill(col, col + w, 0u);
  for (int y = 0; y <= std::min(radius, h - 1); ++y)
    for (int x = 0; x < w; ++x) col[x] += g[size_t(y) * w + x];

  const int threshold = SixTenths(L);
  const int span = 2 * radius + 1;
  int count = 0;
  for (int y = 0; y < h; ++y) {
    const uint32_t rows = uint32_t(std::min(h - 1, y + radius) - std::max(0, y - radius) + 1);
    const Reciprocal full(rows * uint32_t(span));
    uint8_t *out = mask + size_t(y) * w;
    uint32_t sum = 0;
    for (int x = 0; x <= std::min(radius, w - 1); ++x) sum += col[x];
    for (int x = 0; x < w; ++x) {
      const int x0 = std::max(0, x - radius), x1 = std::min(w - 1, x + radius);
      const uint32_t cols = uint32_t(x1 - x0 + 1);
      const uint32_t mean = cols == uint32_t(span) ? full.divide(sum) : sum / (rows * cols);
      const uint8_t v = uint8_t(std::min<uint32_t>(255, mean));
      out[x] = v;
      count += v > threshold;
      if (x + radius + 1 < w) sum += col[x + radius + 1];
      if (x - radius >= 0) sum -= col[x - radius];
    }
    if (y + radius + 1 < h)
      for (int x = 0; x < w; ++x) col[x] += g[size_t(y + radius + 1) * w + x];
    if (y - radius >= 0)
      for (int x = 0; x < w; ++x) col[x] -= g[size_t(y - radius) * w + x];
  }
  return count;
}

}  // namespace belnor
