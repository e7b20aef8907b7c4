// Clean-up of the raw block map into one solid finger region, and the
// finger's bounding rectangle in pixels.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "image_analysis.h"

namespace belnor {
namespace {

constexpr int kMinFingerBlocks = 160;

// Block access for the clean-up steps; every caller keeps (x, y) inside.
struct BlockGrid {
  int8_t *map;
  int bw;
  int bh;
  int8_t &at(int x, int y) const { return map[size_t(y) * bw + x]; }
  bool set(int x, int y) const { return at(x, y) > 0; }
};

void RemoveIsolated(const BlockGrid &g, const Rectangle &r) {
  for (int y = std::max(1, r.top) + 1; y <= std::min(r.bottom, g.bh - 2) - 1; ++y)
    for (int x = std::max(1, r.left); x <= std::min(r.right, g.bw - 2) - 2; ++x)
      if (g.set(x, y) && !g.set(x - 1, y) && !g.set(x + 1, y) && !g.set(x, y - 1) &&
          !g.set(x, y + 1))
        g.at(x, y) = 0;
}

void Bridge(const BlockGrid &g, const Rectangle &r) {
  for (int y = r.top + 2; y <= r.bottom - 3; ++y)
    for (int x = r.left + 2; x <= r.right - 3; ++x) {
      if (g.at(x, y) != 0) continue;
      if (g.set(x, y - 1) && g.set(x, y - 2) && (g.set(x, y + 1) || g.set(x, y + 2)))
        g.at(x, y) = 1;
      else if (g.set(x - 1, y) && g.set(x - 2, y) && (g.set(x + 1, y) || g.set(x + 2, y)))
        g.at(x, y) = 1;
    }
}

void FillNotches(const BlockGrid &g, const Rectangle &r) {
  for (int y = r.top + 1; y <= r.bottom - 1; ++y)
    for (int x = r.left + 1; x <= r.right - 1; ++x) {
      if (g.at(x, y) != 0 || !g.set(x - 1, y) || !g.set(x, y - 1)) continue;
      const int s = std::min(8, r.bottom - y);
      bool downRight = false, downLeft = false;
      for (int t = 1; t <= std::min(s, r.right - x) && !downRight; ++t) downRight = g.set(x + t, y + t);
      for (int t = 1; t <= std::min(s, x - r.left) && !downLeft; ++t) downLeft = g.set(x - t, y + t);
      if (!downRight || !downLeft) continue;
      int p = x + 1;
      while (p <= r.right && !g.set(p, y)) ++p;
      int q = y + 1;
      while (q <= r.bottom && !g.set(x, q)) ++q;
      if (p > r.right || q > r.bottom) continue;
      for (int k = x; k < p; ++k) g.at(k, y) = 1;
      for (int k = y; k < q; ++k) g.at(x, k) = 1;
    }
}

void FillShortGaps(const BlockGrid &g, const Rectangle &r) {
  for (int y = r.top + 1; y <= r.bottom - 3; ++y)
    for (int x = r.left + 1; x <= r.right - 3; ++x) {
      if (g.at(x, y) != 0) continue;
      if (g.set(x - 1, y) && g.set(x + 3, y))
        g.at(x, y) = g.at(x - 1, y);
      else if (g.set(x, y - 1) && g.set(x, y + 3))
        g.at(x, y) = g.at(x, y - 1);
    }
}

// Fills runs of 1..3 empty blocks between two set blocks of one scan line.
// step moves along the line; the line runs from first to last inclusive.
void FillShortRuns(int8_t *first, ptrdiff_t step, int length) {
  int previous = -1;
  for (int k = 0; k < length; ++k) {
    if (first[k * step] <= 0) continue;
    const int gap = k - previous - 1;
    if (previous >= 0 && gap >= 1 && gap <= 3)
      for (int m = previous + 1; m < k; ++m) first[m * step] = 1;
    previous = k;
  }
}

void FillRuns(const BlockGrid &g, const Rectangle &r) {
  const int rows = r.bottom - r.top - 1, cols = r.right - r.left - 1;
  if (rows > 0)
    for (int x = r.left + 1; x <= r.right - 1; ++x) FillShortRuns(&g.at(x, r.top + 1), g.bw, rows);
  if (cols <= 0) return;
  for (int y = r.top + 1; y <= std::min(r.top + 9, r.bottom - 1); ++y)
    FillShortRuns(&g.at(r.left + 1, y), 1, cols);
  for (int y = std::max(r.bottom - 9, r.top + 1); y <= r.bottom - 1; ++y)
    FillShortRuns(&g.at(r.left + 1, y), 1, cols);
}

// A line (length blocks, step apart) whose outermost set blocks are 1..6
// apart is cleared between them.
void ClearShortLine(int8_t *first, ptrdiff_t step, int length) {
  int from = -1, to = -1;
  for (int k = 0; k < length; ++k)
    if (first[k * step] > 0) {
      if (from < 0) from = k;
      to = k;
    }
  if (from >= 0 && to - from >= 1 && to - from <= 6)
    for (int k = from; k <= to; ++k) first[k * step] = 0;
}

// Stripes: columns of the box first, then its rows.
void ClearStripes(const BlockGrid &g, const Rectangle &r) {
  for (int x = r.left; x <= r.right; ++x) ClearShortLine(&g.at(x, r.top), g.bw, r.bottom - r.top + 1);
  for (int y = r.top; y <= r.bottom; ++y) ClearShortLine(&g.at(r.left, y), 1, r.right - r.left + 1);
}

constexpr int8_t kRingMark = 3;

// Marks the first set block of a line (length blocks, step apart) when
// markFirst, and the last one, searched down to index lastStop, when markLast
// and the first was not already the line's end. Marks count as set.
void MarkLineEnds(int8_t *first, ptrdiff_t step, int length, bool markFirst, bool markLast,
                  int lastStop) {
  int f = 0;
  while (f < length && first[f * step] <= 0) ++f;
  if (f < length && markFirst) first[f * step] = kRingMark;
  if (!markLast || f == length - 1) return;
  int l = length - 1;
  while (l >= lastStop && first[l * step] <= 0) --l;
  if (l >= lastStop) first[l * step] = kRingMark;
}

// Peels the outermost finger block of every line on the sides where the box
// does not touch the edge of the map: rows first, then columns.
void PeelOuterRing(const BlockGrid &g, const Rectangle &r) {
  const int width = r.right - r.left + 1, height = r.bottom - r.top + 1;
  for (int y = r.top; y <= r.bottom; ++y)
    MarkLineEnds(&g.at(r.left, y), 1, width, r.left > 0, r.right < g.bw - 1, 1);
  for (int x = r.left; x <= r.right; ++x)
    MarkLineEnds(&g.at(x, r.top), g.bw, height, r.top > 0, r.bottom < g.bh - 1, 0);
  for (int y = r.top; y <= r.bottom; ++y)
    for (int x = r.left; x <= r.right; ++x)
      if (g.at(x, y) == kRingMark) g.at(x, y) = 0;
}

}  // namespace

int AnalyseFinger(AnalysisContext &ctx, const uint8_t *image, int W, int H, int8_t *map,
                  int8_t *raw) {
  if (image == nullptr || map == nullptr || raw == nullptr || W <= 0 || H <= 0) return 0;
  const int bw = W / 8, bh = H / 8;
  const size_t n = size_t(bw) * bh;
  const uint8_t level = BackgroundLevel(image, W, H);
  ctx.lastBackgroundLevel = level;
  BuildBlockMap(ctx, image, W, H, raw, level);
  for (size_t k = 0; k < n; ++k) map[k] = raw[k] > 0 ? 1 : 0;

  Rectangle r;
  MapBoundingBox(map, bw, bh, &r);
  if (!(r.right - r.left > 11 && r.bottom - r.top > 11)) return 0;
  const BlockGrid g{map, bw, bh};
  RemoveIsolated(g, r);
  Bridge(g, r);
  MapBoundingBox(map, bw, bh, &r);
  if (W < 800 && H < 750) {
    FilterComponents(ctx, map, bw, bh, 70);
    MapBoundingBox(map, bw, bh, &r);
  }
  FillNotches(g, r);
  FillShortGaps(g, r);
  FillRuns(g, r);
  ClearStripes(g, r);
  PeelOuterRing(g, r);

  int count = 0;
  for (int y = r.top; y <= r.bottom; ++y)
    for (int x = r.left; x <= r.right; ++x) count += g.set(x, y);
  return count >= kMinFingerBlocks ? count : 0;
}

int FindFingerRegion(AnalysisContext &ctx, const uint8_t *image, int W, int H, Rectangle *rect) {
  if (image == nullptr || W <= 0 || H <= 0) return 0;
  const int bw = W / 8, bh = H / 8;
  const size_t n = size_t(bw) * bh;
  int8_t *map = ctx.map.get(n);
  const int found = AnalyseFinger(ctx, image, W, H, map, map);
  if (found > 0 && rect != nullptr) {
    Rectangle r;
    MapBoundingBox(map, bw, bh, &r);
    *rect = Rectangle{8 * r.left, 8 * r.top, 8 * r.right, 8 * r.bottom};
  }
  return found;
}

}  // namespace belnor
