// Block selection: the mosaic keeps its interior, the frame adds new blocks
// and darker edge blocks.
#include <cstring>

#include "merge_paste.h"
#include "mosaic_state.h"

namespace quisal {

int mosaic_count_overlap(const BlockMap *mosaicMap, const BlockMap *frameMap, int bw, int bh,
                         int *mosaicCount, int *frameCount) {
  int both = 0, m = 0, f = 0;
  for (int i = 0; i < bw * bh; ++i) {
    m += mosaicMap[i] > 0;
    f += frameMap[i] > 0;
    both += mosaicMap[i] > 0 && frameMap[i] > 0;
  }
  *mosaicCount = m;
  *frameCount = f;
  return both;
}

void mosaic_mark_edges(BlockMap *map, int bw, const BlockRect &box) {
  const auto [x0, y0, x1, y1] = box;
  auto at = [&](int x, int y) -> BlockMap & { return map[y * bw + x]; };

  for (int y = y0; y <= y1; ++y) {
    bool leftDone = false;
    if (x0 < x1 - 1) {
      for (int x = x0; x <= x1 - 2; ++x) {
        if (at(x, y) <= 0) continue;
        at(x, y) = kEdge;
        if (at(x + 1, y) > 0) at(x + 1, y) = kEdge;
        leftDone = x == x1 - 2;
        break;
      }
    }
    if (leftDone) continue;
    for (int x = x1; x >= 2 && x >= x0 - 2; --x) {
      if (at(x, y) <= 0) continue;
      at(x, y) = kEdge;
      if (at(x - 1, y) > 0) at(x - 1, y) = kEdge;
      break;
    }
  }

  int s = 2;  // carries over from column to column
  for (int x = x0; x <= x1; ++x) {
    bool bottomDone = false;
    if (y1 - s >= y0) {
      for (int y = y0; y <= y1 - s; ++y) {
        if (at(x, y) <= 0) continue;
        at(x, y) = kEdge;
        if (y - y0 > 2) {
          if (at(x, y + 1) > 0) at(x, y + 1) = kEdge;
          s = 2;
        } else {
          s = 1;
        }
        bottomDone = y == y1 - s;
        break;
      }
    }
    if (bottomDone) continue;
    for (int y = y1; y >= s && y >= y0 - s; --y) {
      if (at(x, y) <= 0) continue;
      at(x, y) = kEdge;
      if (y1 - y > 3) {
        if (at(x, y - 1) > 0) at(x, y - 1) = kEdge;
        s = 2;
      } else {
        s = 1;
      }
      break;
    }
  }
}

unsigned char mosaic_block_mean(const unsigned char *image, int W, int H, int x, int y, int width,
                                int height) {
  int sum = 0;
  for (int r = y; r < y + height; ++r) {
    // The last block row of an image whose height is not a multiple of 16
    // reaches below it.
    const unsigned char *row = image + static_cast<long>(r < H ? r : H - 1) * W;
    for (int c = x; c < x + width; c += 2) sum += row[c];
  }
  return static_cast<unsigned char>(sum * 2 / 256);
}

int mosaic_merge_frame(const BlockMap *mosaicMap, BlockMap *frameMap, const BlockRect &frameBox,
                       int bw, int bh, BlockMap *selectionMap, const unsigned char *mosaicImage,
                       const unsigned char *frame, int H, int *mergeState) {
  if (frameBox.x0 == frameBox.x1 || frameBox.y0 == frameBox.y1) return 0;
  *mergeState = 0;
  int mosaicCount = 0, frameCount = 0;
  const int overlap = mosaic_count_overlap(mosaicMap, frameMap, bw, bh, &mosaicCount, &frameCount);
  if (overlap == 0 && mosaicCount > 0) return 0;
  if (overlap == mosaicCount) *mergeState = kMergeWhole;
  mosaic_mark_edges(frameMap, bw, frameBox);
  int n = frameCount - overlap;
  if (*mergeState == kMergeWhole) {
    std::memcpy(selectionMap, frameMap, static_cast<size_t>(bw) * bh);
    return n;
  }
  std::memset(selectionMap, 0, static_cast<size_t>(bw) * bh);
  const int W = bw * 16;
  for (int y = frameBox.y0; y <= frameBox.y1; ++y) {
    for (int x = frameBox.x0; x <= frameBox.x1; ++x) {
      const int i = y * bw + x;
      const BlockMap g = frameMap[i];
      const BlockMap h = mosaicMap[i];
      if (g <= 0 || h == kFinger) continue;
      if (h == kBackground) {
        selectionMap[i] = g;
        ++n;
      } else if (h == kEdge && g == kFinger) {
        selectionMap[i] = kFinger;
        ++n;
      } else if (h == kEdge && g == kEdge &&
                 mosaic_block_mean(mosaicImage, W, H, 16 * x, 16 * y, 16, 16) >=
                     mosaic_block_mean(frame, W, H, 16 * x, 16 * y, 16, 16)) {
        selectionMap[i] = kEdge;
        ++n;
      }
    }
  }
  return n;
}

}  // namespace quisal
