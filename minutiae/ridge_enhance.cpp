// Smoothing along the ridge direction and the period-tuned filter across it.
// Cells whose taps all stay inside the image take a path without bounds
// checks; the border cells keep the clipped sums.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "direction_field.h"
#include "ridge_filters.h"
#include "ridge_tables.h"
#include "thread_buffer.h"

namespace minutiae {

namespace {

// True when every pixel of cell (r, c) reaches `reach` pixels in any direction
// without leaving the image.
bool CellInside(int r, int c, int reach, int w, int h) {
  const int x0 = 3 * c + 1, y0 = 3 * r + 1;
  return x0 - reach >= 0 && x0 + 2 + reach < w && y0 - reach >= 0 && y0 + 2 + reach < h;
}

// The source in 16-bit entries, with four spare ones at the end, so that four
// neighbouring pixels load as one 64-bit word.
const uint16_t *WideCopy(const uint8_t *image, int w, int h) {
  std::vector<uint16_t> &wide = threadBuffer<struct RidgeSourceWide, uint16_t>();
  const size_t n = size_t(w) * h;
  wide.resize(n + 4);
  for (size_t i = 0; i < n; ++i) wide[i] = image[i];
  for (size_t i = n; i < n + 4; ++i) wide[i] = 0;
  return wide.data();
}

uint64_t Load4(const uint16_t *p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

const uint8_t *SourceCopy(const uint8_t *image, int w, int h) {
  std::vector<uint8_t> &src = threadBuffer<struct RidgeSource, uint8_t>();
  src.assign(image, image + size_t(w) * h);
  return src.data();
}

}  // namespace

void enhanceAlongDirection(uint8_t *image, int w, int h, const uint8_t *field) {
  const int cw = cellCols(w), ch = cellRows(h);
  const uint8_t *src = SourceCopy(image, w, h);
  const uint16_t *wide = WideCopy(image, w, h);
  const RidgeTables &t = ridgeTables();
  auto at = [&](int x, int y) { return int(src[size_t(y) * w + x]); };
  for (int r = 0; r < ch; ++r)
    for (int c = 0; c < cw; ++c) {
      const EnhanceRow &row = t.enhance[field[size_t(r) * cw + c] & 0x7F];
      // Unused taps weigh 0 at offset 0, so the inner loop has a fixed length.
      int reach = 0, total = row.centre, weight[7] = {};
      long offset[7] = {};
      for (int k = 0; k < row.count; ++k) {
        const EnhanceTap &tap = row.taps[k];
        reach = std::max({reach, std::abs(int(tap.dx)), std::abs(int(tap.dy))});
        offset[k] = long(tap.dy) * w + tap.dx;
        weight[k] = tap.weight;
        total += 2 * tap.weight;
      }
      if (CellInside(r, c, reach, w, h) && total == 256) {
        // A cell row's three pixels in the low 16-bit lanes of one word: the
        // weights are not negative and add up to 256, so no lane exceeds
        // 255 * 256 and none carries into the next.
        for (int y = 3 * r + 1; y <= 3 * r + 3; ++y) {
          const size_t at = size_t(y) * w + 3 * c + 1;
          const uint16_t *p = wide + at;
          uint64_t acc = uint64_t(row.centre) * Load4(p);
          for (int k = 0; k < 7; ++k) acc += uint64_t(weight[k]) * (Load4(p + offset[k]) + Load4(p - offset[k]));
          image[at] = uint8_t(acc >> 8);
          image[at + 1] = uint8_t(acc >> 24);
          image[at + 2] = uint8_t(acc >> 40);
        }
        continue;
      }
      if (CellInside(r, c, reach, w, h)) {
        for (int y = 3 * r + 1; y <= 3 * r + 3; ++y)
          for (int x = 3 * c + 1; x <= 3 * c + 3; ++x) {
            const uint8_t *p = src + size_t(y) * w + x;
            int sum = row.centre * p[0];
            for (int k = 0; k < 7; ++k) sum += weight[k] * (p[offset[k]] + p[-offset[k]]);
            image[size_t(y) * w + x] = uint8_t(total == 256 ? sum >> 8 : sum / total);
          }
        continue;
      }
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
  const uint8_t *src = SourceCopy(image, w, h);
  const RidgeTables &t = ridgeTables();
  auto store = [&](int x, int y, int sum) {
    const int v = sum + 32512;
    image[size_t(y) * w + x] = uint8_t(v < 0 ? 0 : v > 65535 ? 255 : v >> 8);
  };
  for (int r = 0; r < ch; ++r)
    for (int c = 0; c < cw; ++c) {
      const int p = periods[size_t(r) * cw + c];
      if (p == 0) continue;
      const int band = std::clamp(p >= 17 ? (p - 17) / 32 : 0, 0, 3);
      const KernelTap *kernel = t.kernels[band][kernelClass(field[size_t(r) * cw + c] & 0x7F)];
      int reach = 0, weight[5];
      long offset[5];
      for (int k = 0; k < 5; ++k) {
        reach = std::max({reach, std::abs(int(kernel[k].dx)), std::abs(int(kernel[k].dy))});
        offset[k] = long(kernel[k].dy) * w + kernel[k].dx;
        weight[k] = kernel[k].weight;
      }
      if (CellInside(r, c, reach, w, h)) {
        for (int y = 3 * r + 1; y <= 3 * r + 3; ++y)
          for (int x = 3 * c + 1; x <= 3 * c + 3; ++x) {
            const uint8_t *q = src + size_t(y) * w + x;
            const int twice = 2 * q[0];
            int sum = 0;
            for (int k = 0; k < 5; ++k) sum += weight[k] * (q[offset[k]] + q[-offset[k]] - twice);
            store(x, y, sum);
          }
        continue;
      }
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
          store(x, y, sum);
        }
    }
}

}  // namespace minutiae
