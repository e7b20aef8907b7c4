// Raw block map: a coarse vote every 32 pixels, refined block by block only
// around the coarse hits, then the size filter and the border rule.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "image_analysis.h"

namespace belnor {
namespace {

int SensitivityForLevel(int level) {
  if (level < 40) return 2;
  if (level < 60) return 3;
  if (level < 80) return 4;
  if (level < 110) return 5;
  if (level < 130) return 6;
  if (level < 170) return 7;
  return std::max(12, (level - 219) / 2);
}

// Edge blocks without a set inward neighbour are cleared, top row first,
// then bottom row, left column and right column.
void ClearLooseBorder(int8_t *raw, int bw, int bh) {
  if (bw < 2 || bh < 2) return;
  int8_t *top = raw, *bottom = raw + size_t(bh - 1) * bw;
  for (int x = 0; x < bw; ++x)
    if (top[x] > 0 && top[x + bw] == 0) top[x] = 0;
  for (int x = 0; x < bw; ++x)
    if (bottom[x] > 0 && bottom[x - bw] == 0) bottom[x] = 0;
  for (int y = 0; y < bh; ++y) {
    int8_t *row = raw + size_t(y) * bw;
    if (row[0] > 0 && row[1] == 0) row[0] = 0;
  }
  for (int y = 0; y < bh; ++y) {
    int8_t *row = raw + size_t(y) * bw;
    if (row[bw - 1] > 0 && row[bw - 2] == 0) row[bw - 1] = 0;
  }
}

}  // namespace

int BuildBlockMap(AnalysisContext &ctx, const uint8_t *image, int W, int H, int8_t *raw,
                  int level) {
  if (raw == nullptr || W <= 0 || H <= 0) return 0;
  const int bw = W / 8, bh = H / 8;
  std::memset(raw, 0, size_t(bw) * bh);
  if (image == nullptr || level < 20) return 0;
  const int s = SensitivityForLevel(level);
  // The coarse grid needs one 32-pixel cell with room for the vote's reach.
  if (H <= 48 || W <= 48) return 0;

  const int mw = W / 32 + 4, mh = H / 32 + 4;
  const size_t maskSize = size_t(mw) * mh;
  uint8_t *mask = ctx.coarseMask.get(maskSize);
  std::memset(mask, 0, maskSize);

  bool hit = false;
  for (int k = 0; k <= (H - 49) / 32; ++k) {
    const int y = 16 + 32 * k;
    for (int j = 0; j <= (W - 49) / 32; ++j) {
      const int x = 16 + 32 * j;
      const int t = BlockDirectionVote(image, W, H, x, y, s);
      if (t <= 0) continue;
      raw[(y / 8) * bw + x / 8] = int8_t(t);
      for (int m = k; m <= k + 2; ++m) std::memset(mask + size_t(m) * mw + j, 1, 3);
      hit = true;
    }
  }
  if (!hit) return 0;

  for (int j = 0; j < bh; ++j) {
    const uint8_t *maskRow = mask + size_t(j / 4 + 1) * mw + 1;
    int8_t *row = raw + size_t(j) * bw;
    for (int i = 0; i < bw; ++i) {
      if (maskRow[i / 4] == 0 || row[i] > 0) continue;
      row[i] = int8_t(BlockDirectionVote(image, W, H, 8 * i, 8 * j, s));
    }
  }

  const int kept = FilterComponents(ctx, raw, bw, bh, 100);
  ClearLooseBorder(raw, bw, bh);
  int count = 0;
  for (size_t k = 0, n = size_t(bw) * bh; k < n; ++k) count += raw[k] > 0;
  return (kept << 16) | (count & 0xFFFF);
}

}  // namespace belnor
