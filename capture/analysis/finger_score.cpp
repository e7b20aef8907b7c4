// Finger score 0..100 of a grey image: grey range, brightness, darkness of
// the ridges, area, left/right symmetry of the upper ridge flow, and
// smoothness of the block directions.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "image_analysis.h"
#include "side_balance.h"

namespace belnor {

int FingerScore(AnalysisContext &ctx, const uint8_t *image, int W, int H, Rectangle *rect) {
  if (image == nullptr) return -1;
  if (W <= 0 || H <= 0) return 0;
  const int bw = W / 8, bh = H / 8;
  const size_t n = size_t(bw) * bh;
  int8_t *map = ctx.map.get(n);
  int8_t *raw = ctx.raw.get(n);
  if (AnalyseFinger(ctx, image, W, H, map, raw) == 0) return 0;

  Rectangle r;
  MapBoundingBox(map, bw, bh, &r);
  if (rect != nullptr) *rect = Rectangle{8 * r.left, 8 * r.top, 8 * r.right, 8 * r.bottom};
  const int boxW = r.right - r.left, boxH = r.bottom - r.top;
  const int64_t u = int64_t(boxW) * boxH * 64;

  // Pixels of the box; the box's last block column and row are left out.
  // Four histograms take turns so that equal neighbours do not wait on
  // each other's counts.
  const int level = ctx.lastBackgroundLevel;
  uint32_t counts[4][256] = {};
  int64_t sum = 0, darkSum = 0, darkCount = 0;
  const int x0 = 8 * r.left, x1 = 8 * r.right;
  for (int y = 8 * r.top; y < 8 * r.bottom; ++y) {
    const uint8_t *row = image + int64_t(y) * W;
    const int8_t *blocks = map + size_t(y / 8) * bw;
    uint32_t rowSum = 0;
    for (int x = x0; x < x1; x += 4) {
      ++counts[0][row[x]];
      ++counts[1][row[x + 1]];
      ++counts[2][row[x + 2]];
      ++counts[3][row[x + 3]];
    }
    for (int x = x0; x < x1; ++x) rowSum += row[x];
    sum += rowSum;
    uint32_t rowDark = 0, rowDarkSum = 0;
    for (int bx = r.left; bx < r.right; ++bx) {
      if (blocks[bx] <= 0) continue;
      const uint8_t *p = row + 8 * bx;
      for (int k = 0; k < 8; ++k) {
        const uint32_t dark = p[k] + 24 < level;
        rowDark += dark;
        rowDarkSum += dark * p[k];
      }
    }
    darkCount += rowDark;
    darkSum += rowDarkSum;
  }
  uint32_t histogram[256];
  for (int v = 0; v < 256; ++v) histogram[v] = counts[0][v] + counts[1][v] + counts[2][v] + counts[3][v];
  // Every pixel counted dark: the historic fallback reads image byte 200.
  const int v = u == darkCount ? image[200] : int((sum - darkSum) / (u - darkCount));
  ctx.lastBackgroundLevel = uint8_t(v);

  int levels = 0;
  for (uint32_t c : histogram) levels += c > 25;
  const int range = std::min(10, levels / 18);
  const int bright = std::max(0, (v - 160) / 16);
  const int mean = darkCount > 0 ? int(darkSum / darkCount) : v;
  const int dark = mean < 240 ? std::min(5, (240 - mean) / 30) : 0;

  int area = 0;
  if (!((darkCount == 0 && v >= 240) || darkCount < 16384 || u < 31999)) {
    if (boxH >= 44 && boxW <= 11)
      area = 5;
    else
      area = darkCount <= 43999 ? int(darkCount * 25 / 44000) : 25;
  }

  // Symmetry of the upper rows; raw loses every block outside the finger and
  // j counts the finger blocks with a direction, over the whole map.
  const int centre = (r.left + r.right) / 2;
  const int symmetryRows = std::min(boxH / 2, 27);
  int j = 0;
  for (size_t i = 0; i < n; ++i) {
    if (map[i] == 0) raw[i] = 0;
    j += raw[i] > 0;
  }
  const ridgeflow::SideCounts sides =
      ridgeflow::CountSides(raw, bw, std::max(0, r.top), std::min(bh, r.top + symmetryRows), centre,
                            [map](size_t i) { return map[i] != 0; });
  const int p = sides.left, l = sides.rising, q = sides.right, k = sides.falling;
  int symmetry = 0;
  if (8 * boxW >= 91 && 8 * boxH >= 171 && k >= 18 && l >= 18 && 10 * l >= 3 * p &&
      10 * k >= 3 * q) {
    const int x = ridgeflow::BalanceTerm(sides, 40);
    symmetry = area != 0 ? x : x * 6 / 10;
  }

  int jumps = 0;
  for (int y = 1; y <= bh - 2; ++y) {
    const int8_t *row = raw + size_t(y) * bw;
    for (int x = 1; x <= bw - 2; ++x)
      if (row[x] > 0 && std::abs(row[x] - row[x - 1]) == 4) ++jumps;
  }
  const int smoothness = j > 0 ? (j - jumps) * 15 / j : 0;

  return range + bright + dark + area + symmetry + smoothness;
}

int FingerScore(const uint8_t *image, int W, int H, Rectangle *rect) {
  AnalysisContext ctx;
  return FingerScore(ctx, image, W, H, rect);
}

}  // namespace belnor
