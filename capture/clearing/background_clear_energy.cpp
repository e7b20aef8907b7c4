// Gradient energy of the half image: Sobel |gx| + |gy|, then a box mean over
// a square window shrunk at the borders, from running column sums.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "background_clear.h"

namespace belnor {
namespace {

typedef int16_t I16x8 __attribute__((vector_size(16)));

inline I16x8 Load16(const int16_t *p) {
  I16x8 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline I16x8 Abs(I16x8 v) {
  const I16x8 sign = v >> 15;
  return (v ^ sign) - sign;
}

// Missing neighbours outside the image are replaced by the centre row or
// column (clamped indices), so border values keep the scale of the interior.
// Per row: V = up + 2 mid + down and D = down - up, then gx = V[x+1] - V[x-1]
// and gy = D[x-1] + 2 D[x] + D[x+1].
void SobelEnergy(const uint8_t *half, int w, int h, uint16_t *out, int16_t *rows) {
  int16_t *V = rows, *D = rows + w;
  for (int y = 0; y < h; ++y) {
    const uint8_t *u = half + size_t(y > 0 ? y - 1 : 0) * w;
    const uint8_t *m = half + size_t(y) * w;
    const uint8_t *d = half + size_t(y + 1 < h ? y + 1 : y) * w;
    for (int x = 0; x < w; ++x) {
      V[x] = int16_t(u[x] + 2 * m[x] + d[x]);
      D[x] = int16_t(d[x] - u[x]);
    }
    uint16_t *o = out + size_t(y) * w;
    auto at = [&](int x, int xl, int xr) {
      return uint16_t(std::abs(V[xr] - V[xl]) + std::abs(D[xl] + 2 * D[x] + D[xr]));
    };
    if (w == 1) {
      o[0] = at(0, 0, 0);
      continue;
    }
    o[0] = at(0, 0, 1);
    int x = 1;
    // Eight columns at a time in 16-bit lanes: |gx|, |gy| <= 1020.
    for (; x + 8 <= w - 1; x += 8) {
      const I16x8 gx = Load16(V + x + 1) - Load16(V + x - 1);
      const I16x8 gy = Load16(D + x - 1) + 2 * Load16(D + x) + Load16(D + x + 1);
      const I16x8 g = Abs(gx) + Abs(gy);
      std::memcpy(o + x, &g, sizeof g);
    }
    for (; x < w - 1; ++x)
      o[x] = uint16_t(std::abs(V[x + 1] - V[x - 1]) + std::abs(D[x - 1] + 2 * D[x] + D[x + 1]));
    o[w - 1] = at(w - 1, w - 2, w - 1);
  }
}

// prefix[x] = col[0] + .. + col[x - 1], x = 0 .. w; four at a time where SSE2 is there.
void PrefixSums(const uint32_t *col, int w, uint32_t *prefix) {
  prefix[0] = 0;
  int x = 0;
#if defined(__SSE2__)
  __m128i carry = _mm_setzero_si128();
  for (; x + 4 <= w; x += 4) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(col + x));
    v = _mm_add_epi32(v, _mm_slli_si128(v, 4));
    v = _mm_add_epi32(v, _mm_slli_si128(v, 8));
    v = _mm_add_epi32(v, carry);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(prefix + x + 1), v);
    carry = _mm_shuffle_epi32(v, 0xFF);
  }
#endif
  for (; x < w; ++x) prefix[x + 1] = prefix[x] + col[x];
}

}  // namespace

int EdgeEnergyMap(ClearContext &ctx, const uint8_t *half, int w, int h, uint8_t *mask,
                  int radius, uint8_t L) {
  if (half == nullptr || mask == nullptr || w <= 0 || h <= 0 || radius < 0 || radius > 16)
    return 0;
  const size_t n = size_t(w) * h;
  uint16_t *g = ctx.gradient.get(n);
  SobelEnergy(half, w, h, g, ctx.sobelRows.get(2 * size_t(w)));

  uint32_t *col = ctx.columnSum.get(2 * size_t(w) + 1);
  uint32_t *prefix = col + w;  // prefix[x] = col[0] + .. + col[x - 1]
  float *reciprocal = ctx.reciprocal.get(2 * size_t(w));
  float *limit = reciprocal + w;
  std::fill(col, col + w, 0u);
  for (int y = 0; y <= std::min(radius, h - 1); ++y)
    for (int x = 0; x < w; ++x) col[x] += g[size_t(y) * w + x];

  // min(255, sum / d) in single precision: the sum is first limited to 256 d
  // (exact in a float), and (sum + 0.5) / d then stays more than 0.5 / d
  // away from every integer, far beyond the rounding error.
  const int threshold = SixTenths(L);
  int count = 0;
  int rowsBefore = -1;
  for (int y = 0; y < h; ++y) {
    const int rows = std::min(h - 1, y + radius) - std::max(0, y - radius) + 1;
    if (rows != rowsBefore) {
      for (int x = 0; x < w; ++x) {
        const int cols = std::min(w - 1, x + radius) - std::max(0, x - radius) + 1;
        const float d = float(rows * cols);
        reciprocal[x] = 1.0f / d;
        limit[x] = 256.0f * d;
      }
      rowsBefore = rows;
    }
    PrefixSums(col, w, prefix);
    uint8_t *out = mask + size_t(y) * w;
    auto meanAt = [&](int x, int x0, int x1) {
      const float sum = std::min(float(int32_t(prefix[x1] - prefix[x0])), limit[x]);
      const int mean = int((sum + 0.5f) * reciprocal[x]);
      return uint8_t(mean > 255 ? 255 : mean);
    };
    // Border columns, then the interior where the window is whole.
    const int inner0 = std::min(radius, w), inner1 = std::max(inner0, w - radius);
    for (int x = 0; x < inner0; ++x)
      out[x] = meanAt(x, std::max(0, x - radius), std::min(w, x + radius + 1));
    for (int x = inner0; x < inner1; ++x) {
      const float sum =
          std::min(float(int32_t(prefix[x + radius + 1] - prefix[x - radius])), limit[x]);
      const int mean = int((sum + 0.5f) * reciprocal[x]);
      out[x] = uint8_t(mean > 255 ? 255 : mean);
    }
    for (int x = inner1; x < w; ++x)
      out[x] = meanAt(x, std::max(0, x - radius), std::min(w, x + radius + 1));
    for (int x = 0; x < w; ++x) count += out[x] > threshold;
    if (y + radius + 1 < h) {
      const uint16_t *add = g + size_t(y + radius + 1) * w;
      for (int x = 0; x < w; ++x) col[x] += add[x];
    }
    if (y - radius >= 0) {
      const uint16_t *sub = g + size_t(y - radius) * w;
      for (int x = 0; x < w; ++x) col[x] -= sub[x];
    }
  }
  return count;
}

}  // namespace belnor
