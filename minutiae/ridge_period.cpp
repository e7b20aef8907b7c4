// Ridge period per cell from extremum crossings of a profile across the ridges,
// then a mode smoothing and a fill of the gaps.
#include <algorithm>
#include <vector>

#include "direction_field.h"
#include "ridge_filters.h"
#include "ridge_tables.h"

namespace minutiae {

namespace {

// 1..9 (period - 3), or 0 when the profile shows fewer than three crossings.
int CellPeriod(const uint8_t *image, int w, int cx, int cy, int d) {
  const RidgeTables &t = ridgeTables();
  int S[25];
  S[12] = image[size_t(cy) * w + cx];
  for (int m = 1; m <= 12; ++m) {
    const ProbeOffset o = t.periodProbe[d][m];
    S[12 - m] = image[size_t(cy - o.dy) * w + cx - o.dx];
    S[12 + m] = image[size_t(cy + o.dy) * w + cx + o.dx];
  }
  int D[21];
  for (int k = 0; k <= 20; ++k) D[k] = 3 * (S[k + 4] - S[k]) + 5 * (S[k + 3] - S[k + 1]);
  enum { kNone, kMax, kMin } state = kNone;
  int first = -1, last = -1, j = 0;
  auto record = [&](int k) {
    if (first < 0) first = k;
    last = k;
    ++j;
  };
  for (int k = 0; k <= 18; ++k) {
    const bool isMax = D[k] >= 1 && (D[k + 1] < 0 || (D[k + 1] == 0 && D[k + 2] < 0));
    const bool isMin = D[k] < 0 && (D[k + 1] > 0 || (D[k + 1] == 0 && D[k + 2] > 0));
    if (state != kMax && isMax) {
      record(k);
      state = kMax;
    } else if (state != kMin && isMin) {
      record(k);
      state = kMin;
    }
  }
  if (state == kMax && D[19] < 0 && D[20] > 0) record(19);
  else if (state == kMin && D[19] > 0 && D[20] < 0) record(19);
  if (j < 3) return 0;
  const int period = std::clamp(((j - 1) * 64 + (last - first) * 2 * t.periodScale[d]) / ((j - 1) * 128), 4, 12);
  return period - 3;
}

}  // namespace

void estimateRidgePeriod(const uint8_t *image, int w, int h, const uint8_t *field, uint8_t *periods) {
  const int cw = cellCols(w), ch = cellRows(h);
  const RidgeTables &t = ridgeTables();
  std::vector<uint8_t> raw(size_t(cw) * ch, 0);
  for (int r = 4; r <= ch - 5; ++r)
    for (int c = 4; c <= cw - 5; ++c) {
      const uint8_t f = field[size_t(r) * cw + c];
      if (f > 119) continue;
      raw[size_t(r) * cw + c] = uint8_t(CellPeriod(image, w, 3 * c + 2, 3 * r + 2, f));
    }

  std::vector<uint8_t> mode = raw;
  for (int r = 3; r <= ch - 4; ++r)
    for (int c = 3; c <= cw - 4; ++c) {
      const size_t i = size_t(r) * cw + c;
      if (field[i] > 119) {
        mode[i] = 0;
        continue;
      }
      int hist[9] = {};
      for (int rr = std::max(0, r - 3); rr <= std::min(ch - 1, r + 3); ++rr)
        for (int cc = std::max(0, c - 3); cc <= std::min(cw - 1, c + 3); ++cc) {
          const int v = raw[size_t(rr) * cw + cc];
          if (v >= 1 && v <= 9) ++hist[v - 1];
        }
      int best = 8;  // equal counts: the larger value wins
      for (int b = 7; b >= 0; --b)
        if (hist[b] > hist[best]) best = b;
      const int p = best > 0 ? hist[best - 1] : 0, m = hist[best], n = best < 8 ? hist[best + 1] : 0;
      const int base = 4 * (best + 1);
      mode[i] = uint8_t(n >= p ? base + t.modeOffset[p + m + n][n - p] : base - t.modeOffset[p + m + n][p - n]);
    }

  for (int r = 0; r < ch; ++r)
    for (int c = 0; c < cw; ++c) {
      const size_t i = size_t(r) * cw + c;
      if (field[i] > 119) {
        periods[i] = mode[i];
        continue;
      }
      int k = 0, sum = 0;
      for (int rr = std::max(0, r - 3); rr <= std::min(ch - 1, r + 3); ++rr)
        for (int cc = std::max(0, c - 3); cc <= std::min(cw - 1, c + 3); ++cc) {
          const int v = mode[size_t(rr) * cw + cc];
          if (v) {
            ++k;
            sum += v;
          }
        }
      periods[i] = k ? uint8_t((k / 2 + 4 * sum) / k) : mode[i];
    }
}

}  // namespace minutiae
