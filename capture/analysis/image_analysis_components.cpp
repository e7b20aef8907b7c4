// Connected regions of a block map: labelling, the size filter with its
// concavity closing, and the bounding box.
//
// Labelling follows the historic sweep scheme (a forward sweep taking labels
// from the upper and left neighbours in rows and columns from 1, a backward
// sweep taking them from the lower and right neighbours, alternating until a
// sweep changes nothing), computed here as a flood over the same directed
// neighbour rules. Its observable quirks are kept on purpose:
//  - column 0 never seeds a region, so a region lying only in column 0 stays
//    unlabelled (and survives the size filter);
//  - after 59 regions the search stops; later regions stay unlabelled;
//  - when the first forward sweep after a seed changes nothing, the seed alone
//    is labelled; its unlabelled neighbours join the next region that grows;
//  - the top-left block copies its right neighbour when that and the block
//    below it are set.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "image_analysis.h"

namespace belnor {
namespace {

inline bool Unlabelled(int8_t v) { return v >= 1 && v <= 8; }

// Floods from the first top entries of stack with label, over the directed
// rules: from a labelled block, its upper and left neighbours always, its
// lower and right neighbours only when these lie in column >= 1 and row >= 1.
// Every block enters the stack once at most, when it is labelled.
void Flood(int32_t *stack, int top, int8_t *map, int bw, int bh, int8_t label) {
  while (top > 0) {
    const int32_t at = stack[--top];
    const int y = at / bw, x = at - y * bw;
    auto visit = [&](int32_t to) {
      if (Unlabelled(map[to])) {
        map[to] = label;
        stack[top++] = to;
      }
    };
    if (y > 0) visit(at - bw);
    if (x > 0) visit(at - 1);
    if (y + 1 < bh && x >= 1) visit(at + bw);
    if (x + 1 < bw && y >= 1) visit(at + 1);
  }
}

}  // namespace

int LabelComponents(AnalysisContext &ctx, int8_t *map, int bw, int bh) {
  if (map == nullptr || bw <= 0 || bh <= 0) return 0;
  int32_t *stack = ctx.stack.get(size_t(bw) * bh);
  int32_t pending[kMaxLabels];  // seeds whose labelling stopped at once
  int pendingCount = 0;
  int count = 0;
  for (int y = 0; y < bh && count < kMaxLabels; ++y) {
    for (int x = 1; x < bw && count < kMaxLabels; ++x) {
      const int32_t at = y * bw + x;
      if (!Unlabelled(map[at])) continue;
      const int8_t label = int8_t(kFirstLabel + count);
      ++count;
      map[at] = label;
      if (bh == 1) continue;  // no sweeps at all for a single row
      // The first forward sweep changes something only through the seed's
      // right neighbour (rows >= 1) or its lower neighbour.
      const bool grows = (y >= 1 && x + 1 < bw && Unlabelled(map[at + 1])) ||
                         (y + 1 < bh && Unlabelled(map[at + bw]));
      if (!grows) {
        pending[pendingCount++] = at;
        continue;
      }
      stack[0] = at;
      for (int k = 0; k < pendingCount; ++k) stack[k + 1] = pending[k];
      Flood(stack, pendingCount + 1, map, bw, bh, label);
      pendingCount = 0;
    }
  }
  if (bw >= 2 && bh >= 2 && map[bw] > 0 && map[1] > 0) map[0] = map[1];
  return count;
}

int FilterComponents(AnalysisContext &ctx, int8_t *map, int bw, int bh, int minimum) {
  if (map == nullptr || bw <= 0 || bh <= 0) return 0;
  const size_t n = size_t(bw) * bh;
  int8_t *copy = ctx.copy.get(n);
  std::memcpy(copy, map, n);

  const int labels = LabelComponents(ctx, map, bw, bh);
  if (labels == 0) return 0;

  // Sizes and row ranges per label; labels never exceed 67, so one count
  // per byte value serves.
  int counts[256] = {};
  int top[256], bottom[256];
  for (int v = 0; v < 256; ++v) top[v] = bh, bottom[v] = -1;
  for (int y = 0; y < bh; ++y) {
    const int8_t *row = map + size_t(y) * bw;
    int rowCounts[256] = {};
    for (int x = 0; x < bw; ++x) ++rowCounts[uint8_t(row[x])];
    for (int l = 0; l < labels; ++l) {
      const int v = kFirstLabel + l;
      if (rowCounts[v] == 0) continue;
      counts[v] += rowCounts[v];
      if (top[v] == bh) top[v] = y;
      bottom[v] = y;
    }
  }
  int sizes[kMaxLabels];
  int kept = 0;
  int8_t erase[256];  // value each block value becomes: small regions vanish
  for (int v = 0; v < 256; ++v) erase[v] = int8_t(v);
  for (int l = 0; l < labels; ++l) {
    sizes[l] = counts[kFirstLabel + l];
    kept += sizes[l] >= minimum;
    if (sizes[l] < minimum) erase[kFirstLabel + l] = 0;
  }
  for (size_t k = 0; k < n; ++k) map[k] = erase[uint8_t(map[k])];

  if (kept > 0) {
    int32_t *firstRow = ctx.firstRow.get(size_t(bw));  // first row >= 1 holding the region
    int32_t *lastRow = ctx.lastRow.get(size_t(bw));    // last row holding the region
    for (int l = 0; l < labels; ++l) {
      if (sizes[l] < minimum) continue;
      const int8_t label = int8_t(kFirstLabel + l);
      std::fill(firstRow, firstRow + bw, bh);
      std::fill(lastRow, lastRow + bw, -1);
      // Earlier closings only paint over a region, never beyond its rows,
      // so its first row range still covers it.
      const int y0 = top[label], y1 = bottom[label];
      for (int y = y0; y <= y1; ++y) {
        const int8_t *row = map + size_t(y) * bw;
        for (int x = 0; x < bw; ++x) {
          if (row[x] != label) continue;
          if (y >= 1 && firstRow[x] == bh) firstRow[x] = y;
          lastRow[x] = y;
        }
      }
      // Per row, the gap after the first run that ends in column >= 1 is
      // closed when the region lies above and below the gap's first column.
      for (int y = std::max(1, y0); y <= y1; ++y) {
        int8_t *row = map + size_t(y) * bw;
        int x = 0;
        int pos = -1;
        while (x < bw) {
          while (x < bw && row[x] != label) ++x;
          if (x == bw) break;
          while (x + 1 < bw && row[x + 1] == label) ++x;
          if (x >= 1) {
            pos = x;
            break;
          }
          ++x;
        }
        if (pos < 0) continue;
        int c = pos + 1;
        while (c < bw && row[c] != label) ++c;
        if (c >= bw || c >= bw - 1) continue;
        const int g = pos + 1;
        if (!(firstRow[g] < y && lastRow[g] > y)) continue;
        for (int k = g; k < c; ++k) {
          row[k] = label;
          copy[size_t(y) * bw + k] = 1;
          if (firstRow[k] > y) firstRow[k] = y;
          if (lastRow[k] < y) lastRow[k] = y;
        }
      }
    }
  }
  for (size_t k = 0; k < n; ++k) map[k] = map[k] > 0 ? copy[k] : map[k];
  return kept;
}

int MapBoundingBox(const int8_t *map, int bw, int bh, Rectangle *rect) {
  int left = bw, top = bh, right = -1, bottom = -1, count = 0;
  if (map != nullptr) {
    for (int y = 0; y < bh; ++y) {
      const int8_t *row = map + size_t(y) * bw;
      for (int x = 0; x < bw; ++x) {
        if (row[x] < 1) continue;
        ++count;
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  }
  if (rect != nullptr) {
    if (left < right && top < bottom)
      *rect = Rectangle{left, top, right, bottom};
    else
      *rect = Rectangle{0, 0, 0, 0};
  }
  return count;
}

}  // namespace belnor
