// Ridge period per cell from extremum crossings of a profile across the ridges,
// then a mode smoothing and a fill of the gaps.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "direction_field.h"
#include "ridge_filters.h"
#include "ridge_tables.h"
#include "thread_buffer.h"

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
  // Extrema as bit masks first (the profile's signs do not predict, so no
  // branch per position): a maximum where D turns from positive to negative,
  // a minimum the other way round, skipping one zero. Then the extrema in
  // order; one counts when it differs from the last one counted.
  constexpr int kMax = 1, kMin = 2;
  uint32_t maxima = 0, minima = 0;
  for (int k = 0; k <= 18; ++k) {
    const int next = D[k + 1] != 0 ? D[k + 1] : D[k + 2];
    maxima |= uint32_t((D[k] > 0) & (next < 0)) << k;
    minima |= uint32_t((D[k] < 0) & (next > 0)) << k;
  }
  int state = 0, first = -1, last = -1, j = 0;
  for (uint32_t left = maxima | minima; left != 0; left &= left - 1) {
    const int k = __builtin_ctz(left), event = (maxima >> k) & 1 ? kMax : kMin;
    if (event == state) continue;
    if (first < 0) first = k;
    last = k;
    ++j;
    state = event;
  }
  auto record = [&](int k) {
    if (first < 0) first = k;
    last = k;
    ++j;
  };
  if (state == kMax && D[19] < 0 && D[20] > 0) record(19);
  else if (state == kMin && D[19] > 0 && D[20] < 0) record(19);
  if (j < 3) return 0;
  const int period = std::clamp(((j - 1) * 64 + (last - first) * 2 * t.periodScale[d]) / ((j - 1) * 128), 4, 12);
  return period - 3;
}

}  // namespace

void estimateRidgePeriod(const uint8_t *image, int w, int h, const uint8_t *field, uint8_t *periods) {
  const int cw = cellCols(w), ch = cellRows(h);
  const size_t cells = size_t(cw) * ch;
  const RidgeTables &t = ridgeTables();
  std::vector<uint8_t> &raw = threadBuffer<struct PeriodRaw, uint8_t>();
  std::vector<uint8_t> &mode = threadBuffer<struct PeriodMode, uint8_t>();
  raw.assign(cells, 0);
  for (int r = 4; r <= ch - 5; ++r)
    for (int c = 4; c <= cw - 5; ++c) {
      const uint8_t f = field[size_t(r) * cw + c];
      if (f > 119) continue;
      raw[size_t(r) * cw + c] = uint8_t(CellPeriod(image, w, 3 * c + 2, 3 * r + 2, f));
    }

  // The 7x7 windows of the mode smoothing never reach past the grid: one
  // histogram per row slides along the columns (raw values are 0..9).
  mode = raw;
  for (int r = 3; r <= ch - 4; ++r) {
    int hist[10] = {};
    auto column = [&](int c, int step) {
      for (int rr = r - 3; rr <= r + 3; ++rr) {
        const int v = raw[size_t(rr) * cw + c];
        if (v) hist[v] += step;  // zeros (most cells) are never read
      }
    };
    for (int c = 0; c < 6 && c < cw; ++c) column(c, 1);
    for (int c = 3; c <= cw - 4; ++c) {
      column(c + 3, 1);
      if (c > 3) column(c - 4, -1);
      const size_t i = size_t(r) * cw + c;
      if (field[i] > 119) {
        mode[i] = 0;
        continue;
      }
      const int *bins = hist + 1;  // values 1..9
      int best = 8;  // equal counts: the larger value wins
      for (int b = 7; b >= 0; --b)
        if (bins[b] > bins[best]) best = b;
      const int p = best > 0 ? bins[best - 1] : 0, m = bins[best], n = best < 8 ? bins[best + 1] : 0;
      const int base = 4 * (best + 1);
      mode[i] = uint8_t(n >= p ? base + t.modeOffset[p + m + n][n - p] : base - t.modeOffset[p + m + n][p - n]);
    }
  }

  // Mean of the non-zero modes over clipped 7x7 windows: column counts and
  // sums over the window's rows, run along each row.
  std::vector<int> &colCount = threadBuffer<struct PeriodColumnCount, int>();
  std::vector<int> &colSum = threadBuffer<struct PeriodColumnSum, int>();
  colCount.assign(size_t(cw), 0);
  colSum.assign(size_t(cw), 0);
  auto addRow = [&](int rr, int step) {
    for (int c = 0; c < cw; ++c) {
      const int v = mode[size_t(rr) * cw + c];
      colCount[size_t(c)] += step * (v != 0);
      colSum[size_t(c)] += step * v;
    }
  };
  for (int rr = 0; rr < std::min(3, ch); ++rr) addRow(rr, 1);
  for (int r = 0; r < ch; ++r) {
    if (r + 3 < ch) addRow(r + 3, 1);
    if (r - 4 >= 0) addRow(r - 4, -1);
    int k = 0, sum = 0;
    for (int c = 0; c < std::min(3, cw); ++c) {
      k += colCount[size_t(c)];
      sum += colSum[size_t(c)];
    }
    for (int c = 0; c < cw; ++c) {
      if (c + 3 < cw) {
        k += colCount[size_t(c + 3)];
        sum += colSum[size_t(c + 3)];
      }
      if (c - 4 >= 0) {
        k -= colCount[size_t(c - 4)];
        sum -= colSum[size_t(c - 4)];
      }
      const size_t i = size_t(r) * cw + c;
      if (field[i] > 119) periods[i] = mode[i];
      else periods[i] = k ? uint8_t((k / 2 + 4 * sum) / k) : mode[i];
    }
  }
}

}  // namespace minutiae
