// Local-mean thresholding, hole filling and thinning of the ridge image.
#include <algorithm>
#include <cstring>
#include <vector>

#include "direction_field.h"
#include "plane_sums.h"
#include "ridge_filters.h"

namespace minutiae {

namespace {

constexpr int kIslandLimit = 30;

// 34 neighbour codes (bit set = background neighbour) whose centre may go.
const uint8_t kThinCodes[34] = {0x01, 0x03, 0x07, 0x0F, 0x1C, 0x1E, 0x1F, 0x27, 0x2F, 0x3C, 0x3E, 0x40,
                                0x60, 0x70, 0x78, 0x7C, 0x81, 0x83, 0x87, 0x8F, 0x9C, 0x9E, 0xA7, 0xBC,
                                0xC0, 0xC1, 0xC3, 0xC7, 0xE0, 0xE1, 0xE3, 0xF0, 0xF1, 0xF8};

struct ThinTable {
  uint8_t v[256] = {};
  ThinTable() {
    for (uint8_t c : kThinCodes) v[c] = 1;
  }
};

}  // namespace

const uint8_t *thinningTable() {
  static const ThinTable t;
  return t.v;
}

void binarizeFiltered(uint8_t *image, int w, int h, const uint8_t *periods, int bound) {
  const int cw = cellCols(w), ch = cellRows(h);
  PlaneSums sums;
  sums.Build(image, w, h);
  const std::vector<uint8_t> src(image, image + size_t(w) * h);
  for (int y = 1; y <= h - 4; ++y)
    for (int x = 1; x <= w - 4; ++x) {
      const int r = std::min((y - 1) / 3, ch - 1), c = std::min((x - 1) / 3, cw - 1);
      const int v = periods[size_t(r) * cw + c];
      uint8_t &out = image[size_t(y) * w + x];
      if (v == 0) {
        out = 255;
        continue;
      }
      const int rad = v < 72 ? 3 : v <= bound ? 5 : 7;
      const int x0 = std::max(0, x - rad), x1 = std::min(w - 1, x + rad);
      const int y0 = std::max(0, y - rad), y1 = std::min(h - 1, y + rad);
      const uint32_t count = uint32_t((x1 - x0 + 1) * (y1 - y0 + 1));
      out = count * src[size_t(y) * w + x] >= sums.Sum(x0, y0, x1, y1) ? 255 : 0;
    }
  std::memset(image, 255, size_t(w));
  std::memset(image + size_t(h - 2) * w, 255, size_t(2 * w));
  for (int y = 0; y < h; ++y) {
    uint8_t *row = image + size_t(y) * w;
    row[0] = 255;
    row[w - 3] = row[w - 2] = row[w - 1] = 255;
  }
}

void removeSmallIslands(uint8_t *image, int w, int h) {
  const size_t n = size_t(w) * h;
  // 0 unvisited, -1 large region, otherwise the fill that last touched it.
  std::vector<int32_t> label(n, 0);
  std::vector<int32_t> queue;
  queue.reserve(kIslandLimit);
  int32_t fill = 0;
  for (size_t start = 0; start < n; ++start) {
    if (image[start] != 255 || label[start] != 0) continue;
    ++fill;
    queue.clear();
    queue.push_back(int32_t(start));
    label[start] = fill;
    bool large = false;
    for (size_t head = 0; head < queue.size() && !large; ++head) {
      const int p = queue[head], x = p % w, y = p / w;
      const int next[4] = {y > 0 ? p - w : -1, x < w - 1 ? p + 1 : -1, y < h - 1 ? p + w : -1,
                           x > 0 ? p - 1 : -1};
      for (int q : next) {
        if (q < 0 || image[q] != 255 || label[q] == fill) continue;
        if (label[q] == -1 || int(queue.size()) >= kIslandLimit) {
          large = true;
          break;
        }
        label[q] = fill;
        queue.push_back(q);
        if (int(queue.size()) >= kIslandLimit) {
          large = true;
          break;
        }
      }
    }
    for (int32_t p : queue) {
      if (large) label[size_t(p)] = -1;
      else image[p] = 0;
    }
  }
  for (size_t i = 0; i < n; ++i)
    if (image[i]) image[i] = 255;
}

void thinRidges(uint8_t *image, int w, int h) {
  const uint8_t *table = thinningTable();
  std::vector<uint8_t> before(size_t(w) * h);
  std::vector<uint8_t> active[2] = {std::vector<uint8_t>(size_t(h), 1), std::vector<uint8_t>(size_t(h), 1)};
  // Neighbour offsets from bit 7 down to bit 0 of each pass.
  const int dyx[2][8][2] = {
      {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}},
      {{1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}, {1, 0}}};
  for (int iter = 0; iter < 6; ++iter) {
    bool deleted = false;
    for (int pass = 0; pass < 2; ++pass) {
      before.assign(image, image + size_t(w) * h);
      for (int y = 1; y <= h - 2; ++y) {
        if (!active[pass][size_t(y)]) continue;
        bool rowDeleted = false;
        for (int x = 1; x <= w - 2; ++x) {
          if (before[size_t(y) * w + x] != 0) continue;
          int code = 0;
          for (int b = 0; b < 8; ++b)
            code = (code << 1) | (before[size_t(y + dyx[pass][b][0]) * w + x + dyx[pass][b][1]] != 0);
          if (table[code]) {
            image[size_t(y) * w + x] = 255;
            rowDeleted = true;
          }
        }
        if (!rowDeleted) active[pass][size_t(y)] = 0;
        deleted = deleted || rowDeleted;
      }
    }
    if (!deleted) break;
  }
}

}  // namespace minutiae
