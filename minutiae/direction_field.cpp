#include "direction_field.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "alg_codes.h"
#include "image_prep.h"
#include "plane_sums.h"
#include "ridge_filters.h"
#include "thread_buffer.h"

namespace minutiae {

namespace {

const int kBase[8] = {0, 71, 120, 169, 240, 311, 360, 409};
const int kGap[8] = {71, 49, 49, 71, 71, 49, 49, 71};
const int kSlit[8] = {0, 18, 30, 42, 60, 78, 90, 102};
const int kWeight[4] = {48, 43, 34, 43};

int Weighted(int v, int w) {
  const int p = v * w;
  return p >= 0 ? (p + 16) / 32 : (p - 16) / 32;
}

using GridSums = SummedArea<int64_t>;

struct Window {
  int c0, r0, c1, r1;
  int Count() const { return (c1 - c0 + 1) * (r1 - r0 + 1); }
};
Window Clip(int r, int c, int radius, int cw, int ch) {
  return {std::max(0, c - radius), std::max(0, r - radius), std::min(cw - 1, c + radius),
          std::min(ch - 1, r + radius)};
}

// The slit measure's eight sums (E0, F0, .. E3, F3) as terms weight * |a - b|,
// a and b given as (dy, dx) from the cell's centre pixel (K = (0, 0), its
// neighbours U, D, L, R one step away).
struct SlitTerm {
  int8_t ay, ax, by, bx, weight;
};
constexpr SlitTerm kSlitTerms[8][6] = {
    {{0, 0, -2, 0, 2}, {0, 0, 2, 0, 2}, {0, -1, -2, -1, 1}, {0, -1, 2, -1, 1}, {0, 1, -2, 1, 1}, {0, 1, 2, 1, 1}},
    {{0, 0, 0, 2, 2}, {0, 0, 0, -2, 2}, {-1, 0, -1, 2, 1}, {-1, 0, -1, -2, 1}, {1, 0, 1, 2, 1}, {1, 0, 1, -2, 1}},
    {{0, 0, -2, 1, 2}, {0, 0, 2, -1, 2}, {0, -1, -2, 0, 1}, {0, -1, 2, -2, 1}, {0, 1, 2, 0, 1}, {0, 1, -2, 2, 1}},
    {{0, 0, 1, 2, 2}, {0, 0, -1, -2, 2}, {-1, 0, 0, 2, 1}, {-1, 0, -2, -2, 1}, {1, 0, 0, -2, 1}, {1, 0, 2, 2, 1}},
    {{0, 0, -2, 2, 2}, {0, 0, 2, -2, 2}, {-1, 0, 1, -2, 1}, {0, -1, -2, 1, 1}, {0, 1, 2, -1, 1}, {1, 0, -1, 2, 1}},
    {{0, 0, -2, -2, 2}, {0, 0, 2, 2, 2}, {0, -1, 2, 1, 1}, {0, 1, -2, -1, 1}, {-1, 0, 1, 2, 1}, {1, 0, -1, -2, 1}},
    {{0, 0, 1, -2, 2}, {0, 0, -1, 2, 2}, {1, 0, 2, -2, 1}, {1, 0, 0, 2, 1}, {-1, 0, -2, 2, 1}, {-1, 0, 0, -2, 1}},
    {{0, 0, 2, 1, 2}, {0, 0, -2, -1, 2}, {0, 1, 2, 2, 1}, {0, 1, -2, 0, 1}, {0, -1, 2, 0, 1}, {0, -1, -2, -2, 1}},
};

// Components and activity from the eight sums.
SlitComponents SlitFromSums(const int sum[8]) {
  SlitComponents s;
  for (int k = 0; k < 4; ++k) s.c[k] = Weighted(sum[2 * k] - sum[2 * k + 1], kWeight[k]);
  s.activity = (sum[2] + sum[3] + sum[6] + sum[7] + 2) / 4;  // E1 + F1 + E3 + F3
  return s;
}

// Components of every cell, one plane per component plus activity, and their
// summed-area tables; kept per thread.
struct CellComponents {
  std::vector<int64_t> plane[5];
  GridSums sums[5];
};

void AllComponents(const uint8_t *image, int w, int cw, int ch, CellComponents &comp) {
  for (int k = 0; k < 5; ++k) comp.plane[k].resize(size_t(cw) * ch);
  // The sums for every pixel of a cell row's centre line (a loop the
  // compiler vectorises), of which every third is a cell's; each fits 16 bits.
  std::vector<int16_t> &line = threadBuffer<struct SlitLine, int16_t>();
  const int x0 = 2, x1 = 3 * cw - 1;  // centres 3c + 2
  const size_t span = size_t(x1 - x0 + 1);
  line.resize(8 * span);
  for (int r = 0; r < ch; ++r) {
    const uint8_t *centre = image + size_t(3 * r + 2) * w + x0;
    for (int k = 0; k < 8; ++k) {
      int16_t *acc = &line[size_t(k) * span];
      std::fill(acc, acc + span, int16_t(0));
      for (const SlitTerm &t : kSlitTerms[k]) {
        const uint8_t *a = centre + long(t.ay) * w + t.ax, *b = centre + long(t.by) * w + t.bx;
        const int weight = t.weight;
        for (size_t x = 0; x < span; ++x) acc[x] = int16_t(acc[x] + weight * std::abs(int(a[x]) - int(b[x])));
      }
    }
    for (int c = 0; c < cw; ++c) {
      const size_t at = size_t(3 * c), i = size_t(r) * cw + c;
      int sum[8];
      for (int k = 0; k < 8; ++k) sum[k] = line[size_t(k) * span + at];
      const SlitComponents s = SlitFromSums(sum);
      for (int k = 0; k < 4; ++k) comp.plane[k][i] = s.c[k];
      comp.plane[4][i] = s.activity;
    }
  }
  for (int k = 0; k < 5; ++k) comp.sums[k].Build(comp.plane[k].data(), cw, ch);
}

// The components and directions of the last image the field estimate saw on
// this thread: libminutia estimates the same normalised image twice.
struct EstimateMemo {
  std::vector<uint8_t> image, directions;
  int w = 0, h = 0;
  CellComponents comp;
};

void DirectionsFromComponents(const CellComponents &comp, int cw, int ch, int radius, uint8_t *field) {
  for (int r = 0; r < ch; ++r)
    for (int c = 0; c < cw; ++c) {
      const Window win = Clip(r, c, radius, cw, ch);
      int64_t s[4];
      for (int k = 0; k < 4; ++k) s[k] = comp.sums[k].Sum(win.c0, win.r0, win.c1, win.r1);
      field[size_t(r) * cw + c] = uint8_t(sectorDirection(s));
    }
}

}  // namespace

SlitComponents cellSlitComponents(const uint8_t *img, int w, int cx, int cy) {
  const uint8_t *centre = img + size_t(cy) * w + cx;
  int sum[8];
  for (int k = 0; k < 8; ++k) {
    sum[k] = 0;
    for (const SlitTerm &t : kSlitTerms[k])
      sum[k] += t.weight * std::abs(int(centre[long(t.ay) * w + t.ax]) - int(centre[long(t.by) * w + t.bx]));
  }
  return SlitFromSums(sum);
}

int sectorDirection(const int64_t s[4]) {
  int64_t T[8];
  for (int k = 0; k < 4; ++k) {
    T[k] = s[k];
    T[k + 4] = -s[k];
  }
  int best = 0;
  for (int k = 1; k < 8; ++k)
    if (T[k] + T[(k + 1) & 7] > T[best] + T[(best + 1) & 7]) best = k;
  const int64_t t0 = T[best], t1 = T[(best + 1) & 7], t2 = T[(best + 2) & 7], tm = T[(best + 7) & 7];
  const int64_t V = t0 + t1 - t2 - tm;
  int64_t d;
  if (V != 0) {
    const int64_t num = V / 2 + kGap[best] * (t1 - tm);
    // A 32-bit division where both fit gives the same quotient, faster.
    const bool narrow = num > INT32_MIN && num <= INT32_MAX && V >= INT32_MIN && V <= INT32_MAX;
    const int64_t a = (narrow ? int64_t(int32_t(num) / int32_t(V)) : num / V) + kBase[best] + 2;
    d = a / 4;
  } else {
    d = kSlit[best];
  }
  return d < 0 || d > 119 ? 0 : int(d);
}

void computeBlockDirection(const uint8_t *image, int w, int h, uint8_t *field) {
  const int cw = cellCols(w), ch = cellRows(h);
  CellComponents &comp = threadObject<struct BlockComponents, CellComponents>();
  AllComponents(image, w, cw, ch, comp);
  DirectionsFromComponents(comp, cw, ch, 4, field);
}

int estimateDirectionField(const uint8_t *normalised, int w, int h, uint8_t *field, bool fixedLimits,
                           ForegroundStats *stats) {
  const int cw = cellCols(w), ch = cellRows(h);
  const size_t cells = size_t(cw) * ch;
  try {
    EstimateMemo &memo = threadObject<struct DirectionEstimate, EstimateMemo>();
    const size_t n = size_t(w) * h;
    if (!(memo.w == w && memo.h == h && std::memcmp(memo.image.data(), normalised, n) == 0)) {
      memo.w = 0;  // invalid until complete
      memo.image.assign(normalised, normalised + n);
      memo.directions.resize(cells);
      AllComponents(normalised, w, cw, ch, memo.comp);
      DirectionsFromComponents(memo.comp, cw, ch, 5, memo.directions.data());
      memo.w = w;
      memo.h = h;
    }
    const CellComponents &comp = memo.comp;
    std::memcpy(field, memo.directions.data(), cells);

    std::vector<int64_t> &fg = threadBuffer<struct DirectionForeground, int64_t>();
    fg.assign(cells, 0);
    for (int r = 0; r < ch; ++r)
      for (int c = 0; c < cw; ++c) {
        const Window win = Clip(r, c, 5, cw, ch);
        const int64_t n = fixedLimits ? 121 : win.Count();
        const int64_t act = comp.sums[4].Sum(win.c0, win.r0, win.c1, win.r1);
        int64_t mag = 0;
        for (int k = 0; k < 4; ++k) mag += std::llabs(comp.sums[k].Sum(win.c0, win.r0, win.c1, win.r1));
        const bool passed = !(act < 240 * n || mag < 432 * n);
        fg[size_t(r) * cw + c] = passed;
        if (passed && stats) {
          stats->strength += mag / 256;
          ++stats->cells;
        }
      }
    GridSums &fgSums = threadObject<struct DirectionForegroundSums, GridSums>();
    fgSums.Build(fg.data(), cw, ch);
    for (int r = 0; r < ch; ++r)
      for (int c = 0; c < cw; ++c) {
        const Window win = Clip(r, c, 5, cw, ch);
        if (fgSums.Sum(win.c0, win.r0, win.c1, win.r1) < 61) field[size_t(r) * cw + c] |= kBackground;
      }
  } catch (const std::bad_alloc &) {
    return ALG_NO_MEMORY;
  }
  return ALG_OK;
}

int computeDirectionField(uint8_t *smoothed, const uint8_t *normalised, int w, int h,
                          uint8_t *field) {
  const int cw = cellCols(w), ch = cellRows(h);
  const size_t cells = size_t(cw) * ch;
  if (estimateDirectionField(normalised, w, h, field, false, nullptr) != ALG_OK) return ALG_NO_MEMORY;
  try {
    enhanceAlongDirection(smoothed, w, h, field);

    const size_t n = size_t(w) * h;
    std::vector<uint8_t> &m3 = threadBuffer<struct DirectionMean3, uint8_t>();
    std::vector<uint8_t> &m7 = threadBuffer<struct DirectionMean7, uint8_t>();
    std::vector<uint8_t> &x = threadBuffer<struct DirectionThreshold, uint8_t>();
    std::vector<uint8_t> &block = threadBuffer<struct DirectionBlock, uint8_t>();
    m3.assign(smoothed, smoothed + n);
    m7.assign(smoothed, smoothed + n);
    x.resize(n);
    block.resize(cells);
    if (boxMean(m3.data(), w, h, 3) != ALG_OK || boxMean(m7.data(), w, h, 7) != ALG_OK)
      return ALG_NO_MEMORY;
    for (size_t i = 0; i < n; ++i) x[i] = 2 * int(smoothed[i]) >= int(m3[i]) + int(m7[i]) ? 255 : 0;
    computeBlockDirection(x.data(), w, h, block.data());
    for (size_t i = 0; i < cells; ++i) field[i] = uint8_t((field[i] & kBackground) | block[i]);
  } catch (const std::bad_alloc &) {
    return ALG_NO_MEMORY;
  }
  return ALG_OK;
}

void mergeDirectionFields(const uint8_t *first, uint8_t *second, int cw, int ch) {
  for (size_t i = 0; i < size_t(cw) * ch; ++i) second[i] ^= first[i] & kBackground;
}

}  // namespace minutiae
