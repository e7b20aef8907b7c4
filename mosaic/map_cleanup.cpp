// Clean-up steps of the segmented block map, each in place.
#include <algorithm>
#include <new>
#include <vector>

#include "result_codes.h"
#include "segment.h"

namespace quisal {

void mosaic_erode_map(BlockMap *map, int bw, int bh) {
  const std::vector<BlockMap> before(map, map + static_cast<size_t>(bw) * bh);
  for (int y = 0; y < bh; ++y) {
    for (int x = 0; x < bw; ++x) {
      const int i = y * bw + x;
      if (before[i] <= 0) continue;
      if ((x > 0 && before[i - 1] == 0) || (x < bw - 1 && before[i + 1] == 0) ||
          (y > 0 && before[i - bw] == 0) || (y < bh - 1 && before[i + bw] == 0)) {
        map[i] = 0;
      }
    }
  }
}

void mosaic_dilate_map(BlockMap *map, int bw, int bh) {
  const std::vector<BlockMap> before(map, map + static_cast<size_t>(bw) * bh);
  for (int y = 1; y < bh - 1; ++y) {
    for (int x = 1; x < bw - 1; ++x) {
      const int i = y * bw + x;
      const BlockMap v = before[i];
      if (v <= 0) continue;
      for (int n : {i - 1, i + 1, i - bw, i + bw}) {
        if (map[n] <= 0) map[n] = v;
      }
    }
  }
}

void mosaic_map_bbox(const BlockMap *map, int bw, int bh, BlockRect *rect) {
  BlockRect r{bw, bh, -1, -1};
  for (int y = 0; y < bh; ++y) {
    for (int x = 0; x < bw; ++x) {
      if (map[y * bw + x] < 1) continue;
      r.x0 = std::min(r.x0, x);
      r.y0 = std::min(r.y0, y);
      r.x1 = std::max(r.x1, x);
      r.y1 = std::max(r.y1, y);
    }
  }
  if (!(r.x0 < r.x1 && r.y0 < r.y1)) r = BlockRect{0, 0, 0, 0};
  *rect = r;
}

void mosaic_fill_gaps(BlockMap *map, int bw, int bh, BlockRect *rect) {
  BlockRect &r = *rect;
  r.x0 = std::max(r.x0, 1);
  r.y0 = std::max(r.y0, 1);
  r.x1 = std::min(r.x1, bw - 3);
  r.y1 = std::min(r.y1, bh - 3);
  for (int y = r.y0; y <= r.y1; ++y) {
    for (int x = r.x0; x <= r.x1; ++x) {
      BlockMap *b = map + y * bw + x;
      if (*b != 0) continue;
      if (b[-1] > 0 && b[2] > 0) {
        *b = static_cast<BlockMap>((b[-1] + b[2]) >> 1);
      } else if (b[-bw] > 0 && b[2 * bw] > 0) {
        *b = static_cast<BlockMap>((b[-bw] + b[2 * bw]) >> 1);
      }
    }
  }
}

namespace {

// Raises the region marked > 9 over its 4-connected blocks of value 1..8.
void GrowMarkedRegion(BlockMap *map, int bw, int bh) {
  auto unmarked = [](BlockMap v) { return v >= 1 && v <= 8; };
  for (;;) {
    bool raised = false;
    for (int y = 1; y < bh; ++y) {
      for (int x = 1; x < bw; ++x) {
        BlockMap *b = map + y * bw + x;
        if (unmarked(*b) && (b[-bw] > 9 || b[-1] > 9)) {
          *b += 9;
          raised = true;
        }
      }
    }
    if (!raised) return;
    raised = false;
    for (int y = bh - 1; y >= 0; --y) {
      for (int x = bw - 1; x >= 0; --x) {
        BlockMap *b = map + y * bw + x;
        if (unmarked(*b) && ((y < bh - 1 && b[bw] > 9) || (x < bw - 1 && b[1] > 9))) {
          *b += 9;
          raised = true;
        }
      }
    }
    if (!raised) return;
  }
}

}  // namespace

void mosaic_keep_main_region(BlockMap *map, int bw, int bh) {
  if (bw < 9) return;
  // Seed: top of the longest vertical run in the middle columns.
  int best = 0;
  int seed = -1;
  for (int x = 4; x <= bw - 5; ++x) {
    int y = 1;
    while (y <= bh - 2) {
      if (map[y * bw + x] <= 0) {
        ++y;
        continue;
      }
      const int s = y;
      while (y + 1 <= bh - 2 && map[(y + 1) * bw + x] > 0) ++y;
      const int measure = std::min(y, bh - 3) - s;
      if (measure > best) {
        best = measure;
        seed = s * bw + x;
      }
      ++y;
    }
  }
  if (best < 1) return;
  map[seed] += 9;
  GrowMarkedRegion(map, bw, bh);
  for (int i = 0; i < bw * bh; ++i) {
    if (map[i] > 0) map[i] = map[i] >= 9 ? static_cast<BlockMap>(map[i] - 9) : 0;
  }
}

void mosaic_remove_stripes(BlockMap *map, int bw, const BlockRect &r) {
  for (int x = r.x0; x <= r.x1; ++x) {
    int top = -1, bottom = -1;
    for (int y = r.y0; y <= r.y1; ++y) {
      if (map[y * bw + x] <= 0) continue;
      if (top < 0) top = y;
      bottom = y;
    }
    const int span = bottom - top;
    if (top >= 0 && (span == 1 || span == 2)) {
      for (int y = r.y0; y <= r.y1; ++y) map[y * bw + x] = 0;
    }
  }
  for (int y = r.y0; y <= r.y1; ++y) {
    BlockMap *row = map + y * bw;
    int left = -1, right = -1;
    for (int x = r.x0; x <= r.x1; ++x) {
      if (row[x] <= 0) continue;
      if (left < 0) left = x;
      right = x;
    }
    const int span = right - left;
    if (left >= 0 && (span == 1 || span == 2)) {
      for (int x = r.x0; x <= r.x1; ++x) row[x] = 0;
    }
  }
}

void mosaic_smooth_edges(BlockMap *map, int bw, int bh, const BlockRect &r) {
  for (int y = std::max(r.y0, 1); y <= std::min(r.y1, bh - 2); ++y) {
    for (int x = std::max(r.x0, 1); x <= std::min(r.x1, bw - 2); ++x) {
      BlockMap *b = map + y * bw + x;
      if (b[-1] != 0 && b[1] != 0) continue;
      const int diagonals = (b[-bw - 1] == 1) + (b[-bw + 1] == 1) + (b[bw - 1] == 1) +
                            (b[bw + 1] == 1);
      if (diagonals >= 3) {
        *b = 1;
      } else if (diagonals <= 1) {
        *b = 0;
      }
    }
  }
}

int mosaic_segment_finger(const unsigned char *frame, int W, int H, BlockMap *map, BlockMap *raw,
                          int mode) {
  const int bw = BlockColumns(W);
  const int bh = BlockRows(H);
  mosaic_classify_blocks(frame, W, H, raw, mode);
  for (int i = 0; i < bw * bh; ++i) map[i] = raw[i] > 0 ? 1 : 0;
  mosaic_erode_map(map, bw, bh);
  mosaic_dilate_map(map, bw, bh);
  BlockRect r;
  mosaic_map_bbox(map, bw, bh, &r);
  mosaic_fill_gaps(map, bw, bh, &r);
  mosaic_keep_main_region(map, bw, bh);
  mosaic_remove_stripes(map, bw, r);
  mosaic_smooth_edges(map, bw, bh, r);
  int count = 0;
  for (int y = r.y0; y <= r.y1; ++y) {
    for (int x = r.x0; x <= r.x1; ++x) count += map[y * bw + x] > 0;
  }
  return count >= kMinFingerBlocks ? count : 0;
}

int mosaic_segment_finger_or_no_memory(const unsigned char *frame, int W, int H, BlockMap *map,
                                       BlockMap *raw, int mode) {
  try {
    return mosaic_segment_finger(frame, W, H, map, raw, mode);
  } catch (const std::bad_alloc &) {
    return MC_ERR_MEMORY;
  }
}

}  // namespace quisal
