// Painting of the background through the refined mask, then smoothing of
// the seams between kept and painted pixels.
#include <cstdint>
#include <cstring>

#include "background_clear.h"

namespace belnor {

void ApplyBackgroundMask(ClearContext &ctx, uint8_t *image, int W, int H, const uint8_t *mask,
                         uint8_t L) {
  (void)ctx;
  if (image == nullptr || mask == nullptr || W <= 0 || H <= 0) return;
  const int w = W / 2, h = H / 2;
  const int t = SixTenths(L);
  // Each mask cell stands for 2 x 2 pixels; an odd last column or row keeps its pixels.
  for (int i = 0; i < h; ++i) {
    const uint8_t *m = mask + size_t(i) * w;
    uint8_t *r0 = image + int64_t(2 * i) * W;
    uint8_t *r1 = r0 + W;
    for (int j = 0; j < w; ++j) {
      if (m[j] > t) continue;
      r0[2 * j] = r0[2 * j + 1] = L;
      r1[2 * j] = r1[2 * j + 1] = L;
    }
  }
  if (H < 5) return;
  // In place, in raster order: a pixel sees its left and upper neighbours as
  // already smoothed.
  for (int y = 2; y <= H - 3; ++y) {
    uint8_t *row = image + int64_t(y) * W;
    const uint8_t *up = row - W, *up2 = row - 2 * W, *down = row + W, *down2 = row + 2 * W;
    for (int x = 2; x <= W - 3; ++x) {
      const uint8_t p = row[x];
      if (p == L) continue;
      if ((down[x - 1] >= L && up[x + 1] >= L) || (down[x + 1] >= L && up[x - 1] >= L)) {
        row[x] = L;
      } else if ((row[x - 1] == L && row[x - 2] == L) || (row[x + 1] == L && row[x + 2] == L) ||
                 (down[x] == L && down2[x] == L) || (up[x] == L && up2[x] == L)) {
        row[x] = uint8_t((L + p) / 2);
      }
    }
  }
}

}  // namespace belnor
