// Smoothing along the ridge direction and the period-tuned filter across it.
#include <algorithm>
#include <vector>

#include "direction_field.h"
#include "ridge_filters.h"
#include "ridge_tables.h"

namespace minutiae {

void enhanceAlongDirection(uint8_t *image, int w, int h, const uint8_t *field) {
  const int cw = cellCols(w), ch = cellRows(h);
  const std::vector<uint8_t> src(image, image + size_t(w) * h);
  const RidgeTables &t = ridgeTables();
  auto at = [&](int x, int y) { return int(src[size_t(y) * w + x]); };
  for (int r = 0; r < ch; ++r)
    for (int c = 0; c < cw; ++c) {
      const EnhanceRow &row = t.enhance[field[size_t(r) * cw + c] & 0x7F];
      for (int y = 3 * r + 1; y <= 3 * r + 3; ++y)
        for (int x = 3 * c + 1; x <= 3 * c + 3; ++x) {
          int sum = row.centre * at(x, y), weights = row.centre;
          for (int k = 0; k < row.count; ++k) {
            const EnhanceTap &tap = row.taps[k];
            const int x1 = x + tap.dx, y1 = y + tap.dy, x2 = x - tap.dx, y2 = y - tap.dy;
            if (x1 >= 0 && x1 < w && y1 >= 0 && y1 < h) {
              sum += tap.weight * at(x1, y1);
              weights += tap.weight;
            }
            if (x2 >= 0 && x2 < w && y2 >= 0 && y2 < h) {
              sum += tap.weight * at(x2, y2);
              weights += tap.weight;
            }
          }
          image[size_t(y) * w + x] = uint8_t(weights == 256 ? sum >> 8 : sum / weights);
        }
    }
}

void filterByContext(uint8_t *image, int w, int h, const uint8_t *field, const uint8_t *periods) {
  const int cw = cellCols(w), ch = cellRows(h);
  const std::vector<uint8_t> src(image, image + size_t(w) * h);
  const RidgeTables &t = ridgeTables();
  for (int r = 0; r < ch; ++r)
    for (int c = 0; c < cw; ++c) {
      const int p = periods[size_t(r) * cw + c];
      if (p == 0) continue;
      const int band = std::clamp(p >= 17 ? (p - 17) / 32 : 0, 0, 3);
      const KernelTap *kernel = t.kernels[band][kernelClass(field[size_t(r) * cw + c] & 0x7F)];
      for (int y = 3 * r + 1; y <= 3 * r + 3; ++y)
        for (int x = 3 * c + 1; x <= 3 * c + 3; ++x) {
          const int P = src[size_t(y) * w + x];
          int sum = 0;
          for (int k = 0; k < 5; ++k) {
            const KernelTap &tap = kernel[k];
            for (int sgn = 1; sgn >= -1; sgn -= 2) {
              const int xx = x + sgn * tap.dx, yy = y + sgn * tap.dy;
              if (xx >= 0 && xx < w && yy >= 0 && yy < h)
                sum += tap.weight * (int(src[size_t(yy) * w + xx]) - P);
            }
          }
          const int v = sum + 32512;
          image[size_t(y) * w + x] = uint8_t(v < 0 ? 0 : v > 65535 ? 255 : v >> 8);
        }
    }
}

}  // namespace minutiae
