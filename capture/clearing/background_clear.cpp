// Background clearing driver: the edge probes that veto it, the flat fill of
// dark backgrounds and the masked clearing of bright ones.
#include <cstdint>
#include <cstring>

#include "background_clear.h"

namespace belnor {

int RowEdgeProbe(const uint8_t *image, int W, int x, int y, int width, int height) {
  for (int r = y; r < y + height; ++r) {
    const uint8_t *row = image + int64_t(r) * W + x;
    const uint8_t *above = row - 2 * int64_t(W);
    int count = 0;
    for (int c = 0; c < width; ++c) count += row[c] + 40 < above[c];
    if (count > width / 2) return 1;
  }
  return 0;
}

int HasEdgeProbe(const uint8_t *image, int W, int H) {
  // The windows reach 144 columns from the right and 84 rows from the bottom.
  if (image == nullptr || W < 147 || H < 87) return 0;
  const int windows[5][2] = {
      {3, 3}, {W - 144, 3}, {W / 2 - 70, H / 2 - 40}, {3, H - 84}, {W - 144, H - 84}};
  for (const auto &w : windows)
    if (RowEdgeProbe(image, W, w[0], w[1], 140, 80)) return 1;
  return 0;
}

int ClearBackgroundMasked(ClearContext &ctx, uint8_t *image, int W, int H, uint8_t L) {
  if (image == nullptr || W < 256 || W > 4000 || H < 360 || H > 4000) return -1;
  const int w = W / 2, h = H / 2;
  const size_t n = size_t(w) * h;
  uint8_t *half = ctx.half.get(n);
  uint8_t *mask = ctx.mask.get(n);
  for (int i = 0; i < h; ++i) {
    const uint8_t *src = image + int64_t(2 * i) * W;
    uint8_t *dst = half + size_t(i) * w;
    for (int j = 0; j < w; ++j) dst[j] = src[2 * j];
  }
  const int energetic = EdgeEnergyMap(ctx, half, w, h, mask, 8, L);
  if (energetic > 1000 && RefineEdgeMap(ctx, half, mask, w, h, L))
    ApplyBackgroundMask(ctx, image, W, H, mask, L);
  else
    std::memset(image, L, size_t(W) * H);
  return 1;
}

int ClearBackground(ClearContext &ctx, uint8_t *image, int W, int H, uint8_t L) {
  if (image == nullptr || W <= 0 || H <= 0) return 0;
  if (HasEdgeProbe(image, W, H)) return 0;
  if (L >= 90)
    ClearBackgroundMasked(ctx, image, W, H, L);
  else
    std::memset(image, L, size_t(W) * H);
  return 0;
}

}  // namespace belnor
