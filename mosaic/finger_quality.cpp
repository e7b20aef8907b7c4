// Finger-quality score over the segmented finger box: grey range,
// brightness, ridge darkness, dark area, left/right direction symmetry and
// direction smoothness.
#include <algorithm>
#include <cstdlib>
#include <new>
#include <memory>

#include "quality.h"
#include "segment.h"
#include "side_balance.h"

namespace quisal {

namespace {

int SymmetryTerm(const BlockMap *map, const BlockMap *raw, int bw, const BlockRect &r, int areaTerm) {
  const int boxW = r.x1 - r.x0;
  const int boxH = r.y1 - r.y0;
  const int rowLimit = r.y0 + std::min(boxH / 2, 27);
  const int centre = (r.x0 + r.x1) / 2;
  const ridgeflow::SideCounts sides =
      ridgeflow::CountSides(raw, bw, 0, rowLimit, centre, [map](size_t i) { return map[i] > 0; });
  const int p = sides.left, l = sides.rising, q = sides.right, k = sides.falling;
  if (!((boxW + 1) * 16 > 99 && (boxH + 1) * 16 > 179 && k >= 18 && l >= 18 &&
        static_cast<float>(l) / static_cast<float>(p) >= 0.3f &&
        static_cast<float>(k) / static_cast<float>(q) >= 0.3f)) {
    return 0;
  }
  int e = ridgeflow::BalanceTerm(sides, 5);
  if (areaTerm == 0) e = e * 6 / 10;
  return e;
}

int SmoothnessTerm(const BlockMap *map, BlockMap *raw, int bw, int bh) {
  for (int i = 0; i < bw * bh; ++i) {
    if (map[i] <= 0) raw[i] = 0;
  }
  int directed = 0;
  for (int i = 0; i < bw * bh; ++i) directed += raw[i] > 0;
  int turns = 0;
  for (int y = 1; y < bh - 1; ++y) {
    for (int x = 1; x < bw - 1; ++x) {
      const int d = raw[y * bw + x];
      turns += d > 0 && std::abs(d - raw[y * bw + x - 1]) == 4;
    }
  }
  return directed > 0 ? (directed - turns) * 5 / directed : 0;
}

}  // namespace

int mosaic_score_finger(const unsigned char *image, int W, int H) {
  if (image == nullptr) return -1;
  const int bw = BlockColumns(W);
  const int bh = BlockRows(H);
  const size_t blocks = static_cast<size_t>(bw) * bh;
  std::unique_ptr<BlockMap[]> map(new (std::nothrow) BlockMap[blocks]);
  std::unique_ptr<BlockMap[]> raw(new (std::nothrow) BlockMap[blocks]);
  if (!map || !raw) return 0;
  const int T = mosaic_grey_threshold(image, W, H);
  if (mosaic_segment_finger_or_no_memory(image, W, H, map.get(), raw.get(), kDirectionTest) <= 0) return 0;

  BlockRect r;
  mosaic_map_bbox(map.get(), bw, bh, &r);
  const int boxW = r.x1 - r.x0;
  const int boxH = r.y1 - r.y0;
  const long u = static_cast<long>(boxW) * boxH * 256;

  long histogram[256] = {};
  long S = 0, darkCount = 0, darkSum = 0;
  for (int y = 16 * r.y0; y < 16 * r.y1; ++y) {
    const unsigned char *row = image + static_cast<long>(y) * W;
    const BlockMap *mapRow = map.get() + (y / 16) * bw;
    for (int x = 16 * r.x0; x < 16 * r.x1; ++x) {
      const int v = row[x];
      ++histogram[v];
      S += v;
      if (mapRow[x / 16] > 0 && v + 24 < T) {
        ++darkCount;
        darkSum += v;
      }
    }
  }
  const int A = darkCount == u ? image[200]
                               : static_cast<unsigned char>((S - darkSum) / (u - darkCount));

  int levels = 0;
  for (long h : histogram) levels += h > 25;
  const int range = std::min(20, levels / 9);
  const int bright = std::clamp((15 * A - 2400) / 80, 0, 15);
  int dark = 0;
  if (darkCount > 0) {
    const long m = darkSum / darkCount;
    dark = m < 240 ? static_cast<int>(std::min(15L, (240 - m) / 10)) : 0;
  } else {
    dark = A < 240 ? std::min(15, (240 - A) / 10) : 0;
  }
  int area = 0;
  if (!((darkCount == 0 && A >= 240) || darkCount < 16384 || u < 32000)) {
    if (boxH >= 44 && boxW <= 11) {
      area = 5;
    } else {
      area = darkCount <= 67199 ? static_cast<int>(darkCount * 40 / 67200) : 40;
    }
  }
  const int symmetry = SymmetryTerm(map.get(), raw.get(), bw, r, area);
  const int smoothness = SmoothnessTerm(map.get(), raw.get(), bw, bh);
  return symmetry + range + bright + dark + area + smoothness;
}

}  // namespace quisal
