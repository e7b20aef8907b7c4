// Image quality 0..100 from finger area, block variance, grey levels,
// gradient, background share and the position of direction jumps.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "direction_field.h"
#include "int_geometry.h"
#include "thread_buffer.h"

namespace minutiae {

int computeQualityScore(const uint8_t *N, const uint8_t *S, int w, int h, const uint8_t *field) {
  const int cw = cellCols(w), ch = cellRows(h);
  const int bw = (w + 15) / 16, bh = (h + 15) / 16;
  // Cell column of each pixel column, looked up rather than divided.
  std::vector<int> &cellCol = threadBuffer<struct QualityCellColumn, int>();
  cellCol.resize(size_t(w));
  for (int x = 0; x < w; ++x) cellCol[size_t(x)] = std::min(x / 3, cw - 1);
  auto cellOf = [&](int x, int y) {
    const int r = std::min(y / 3, ch - 1);
    return field[size_t(r) * cw + cellCol[size_t(x)]];
  };
  std::vector<int64_t> &blockSum = threadBuffer<struct QualityBlockSum, int64_t>();
  std::vector<int64_t> &blockVar = threadBuffer<struct QualityBlockVariance, int64_t>();
  std::vector<int> &blockCount = threadBuffer<struct QualityBlockCount, int>();
  blockSum.assign(size_t(bw) * bh, 0);
  blockVar.assign(size_t(bw) * bh, 0);
  blockCount.assign(size_t(bw) * bh, 0);
  int hist[256] = {};
  int64_t area = 0, sumx = 0;
  int minX = w, minY = h, maxX = -1, maxY = -1;
  for (int y = 1; y <= h - 5; ++y)
    for (int x = 1; x <= w - 5; ++x) {
      if (cellOf(x, y) > 119) continue;
      ++area;
      sumx += x;
      const size_t b = size_t(y / 16) * bw + x / 16;
      const uint8_t s = S[size_t(y) * w + x];
      blockSum[b] += s;
      ++blockCount[b];
      ++hist[s];
      minX = std::min(minX, x);
      maxX = std::max(maxX, x);
      minY = std::min(minY, y);
      maxY = std::max(maxY, y);
    }
  if (!(area > 6399 && maxX - minX + 1 >= 48 && maxY - minY + 1 >= 48)) return 0;
  const int areaScore = area < 70621 ? intSqrt(int(area * 10000 / 70620)) : 100;
  minX = std::max(minX, 3);
  minY = std::max(minY, 3);
  maxX = std::min(maxX, w - 4);
  maxY = std::min(maxY, h - 4);

  for (int y = 1; y <= h - 2; ++y)
    for (int x = 1; x <= w - 2; ++x) {
      const size_t b = size_t(y / 16) * bw + x / 16;
      if (blockCount[b] != 256) continue;
      const int64_t d = int64_t(S[size_t(y) * w + x]) - blockSum[b] / 256;
      blockVar[b] += d * d;
    }
  int64_t total = 0, k = 0, low = 0;
  for (size_t b = 0; b < blockVar.size(); ++b) {
    if (blockVar[b] <= 1) continue;
    total += blockVar[b];
    ++k;
    if (blockVar[b] / 256 <= 15) ++low;
  }
  if (k == 0) return 0;  // no block qualified
  const int64_t meanVar = total / (k * 256);
  if (meanVar <= 2) return 0;
  const int varScore = meanVar < 626 ? int((meanVar * 100 + 312) / 625) : 100;
  const int lowScore = std::max(0, 100 - intSqrt(int(low * 10000 / k)));

  int levels = 0;
  for (int v = 0; v < 256; ++v) levels += hist[v] > 5;
  const int levelScore = levels < 240 ? levels * 100 / 240 : 100;

  int64_t G = 0;
  for (int y = minY + 3; y <= maxY - 4; ++y)
    for (int x = minX + 3; x <= maxX - 4; ++x) {
      if (cellOf(x, y) > 119) continue;
      const uint8_t *p = N + size_t(y) * w + x;
      G += std::abs(p[0] - p[-1]) + std::abs(p[0] - p[1]) + std::abs(p[0] - p[-w]) +
           std::abs(p[0] - p[w]);
    }
  const int64_t g = G / area;
  const int gradScore = g <= 180 ? int(g * 100 / 180) : 100;

  int64_t t = 0;
  for (int y = minY; y <= maxY - 1; ++y)
    for (int x = minX; x <= maxX - 1; ++x)
      t += N[size_t(y) * w + x] < 200 && cellOf(x, y) > 120;
  const int bgScore = int(std::min<int64_t>(100, std::llabs(area - t) * 100 / area));

  int64_t J = 0, X = 0;
  for (int r = minY / 3 + 2; r <= maxY / 3 - 3; ++r)
    for (int c = minX / 3 + 1; c <= maxX / 3 - 3; ++c) {
      if (r < 0 || r >= ch || c < 0 || c + 1 >= cw) continue;
      const int a = field[size_t(r) * cw + c], b = field[size_t(r) * cw + c + 1];
      if (a < 120 && b < 120 && std::abs(a - b) > 64) {
        ++J;
        X += c;
      }
    }
  const int64_t jumpScore = J >= 50 ? 100 - std::llabs(3 * X / J - sumx / area) / 2 : 0;

  const double score = (0.1 * varScore + 0.12 * levelScore + 0.23 * gradScore + 0.2 * bgScore +
                        0.35 * double(jumpScore)) *
                           (double(areaScore) * lowScore) / 10000.0 +
                       0.4;
  return int(float(score));
}

}  // namespace minutiae
