// Raw block classification: a coarse pass on a 64-pixel grid, then every
// block near a coarse hit.
#include <cstring>
#include <vector>

#include "segment.h"

namespace quisal {

int mosaic_classify_blocks(const unsigned char *frame, int W, int H, BlockMap *raw, int mode) {
  const int bw = BlockColumns(W);
  const int bh = BlockRows(H);
  std::memset(raw, 0, static_cast<size_t>(bw) * bh);
  const int maskColumns = W / 64 + 4;
  std::vector<unsigned char> mask(static_cast<size_t>(maskColumns) * (H / 64 + 4), 0);
  if (H <= 96) return 1;

  bool hit = false;
  for (int k = 0; k <= (H - 97) / 64; ++k) {
    const int y = 32 + 64 * k;
    if (W <= 96) break;
    for (int j = 0; j <= (W - 97) / 64; ++j) {
      const int x = 32 + 64 * j;
      const signed char t = mosaic_block_test(frame, W, H, x, y, mode);
      if (t == 0) continue;
      hit = true;
      raw[(y / 16) * bw + x / 16] = t;
      for (int m = k; m <= k + 2; ++m) {
        for (int n = j; n <= j + 2; ++n) mask[m * maskColumns + n] = 1;
      }
    }
  }
  if (!hit) return 1;

  for (int f = 0;; f += 16) {
    const bool lastRow = f + 16 >= H;
    const int row = lastRow ? H - 17 : f;
    BlockMap *rawRow = raw + (f / 16) * bw;
    // Only block columns of the map: with a width that is not a multiple of
    // 16 the pixels right of the last whole block belong to no block.
    for (int j = 0; j < bw; ++j) {
      const int x = 16 * j;
      if (!mask[(f / 64 + 1) * maskColumns + x / 64 + 1] || rawRow[j] > 0) continue;
      rawRow[j] = mosaic_block_test(frame, W, H, x + 16 >= W ? W - 17 : x, row, mode);
    }
    if (lastRow) break;
  }

  if (H % 16 > 7) {
    BlockMap *lastRow = raw + (bh - 1) * bw;
    for (int j = 0; j < bw; ++j) lastRow[j] = mosaic_block_test(frame, W, H, 16 * j, H - 17, mode);
  }
  return 1;
}

}  // namespace quisal
