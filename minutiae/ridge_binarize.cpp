// Local-mean thresholding, hole filling and thinning of the ridge image.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "direction_field.h"
#include "plane_sums.h"
#include "ridge_filters.h"
#include "thread_buffer.h"

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
  if (w < 4 || h < 4) return;
  const int cw = cellCols(w), ch = cellRows(h);
  const size_t W = size_t(w), H = size_t(h);
  PlaneSums &sums = threadObject<struct BinarizeSums, PlaneSums>();
  sums.Build(image, w, h);
  std::vector<uint8_t> &src = threadBuffer<struct BinarizeSource, uint8_t>();
  src.assign(image, image + W * H);
  std::vector<int> &cellCol = threadBuffer<struct BinarizeCellColumn, int>();
  cellCol.resize(W);
  for (int x = 1; x < w; ++x) cellCol[size_t(x)] = std::min((x - 1) / 3, cw - 1);
  for (int y = 1; y <= h - 4; ++y) {
    const uint8_t *cellRow = periods + size_t(std::min((y - 1) / 3, ch - 1)) * cw;
    const bool rowInside = y >= 7 && y + 7 < h;
    for (int x = 1; x <= w - 4; ++x) {
      const int v = cellRow[cellCol[size_t(x)]];
      uint8_t &out = image[size_t(y) * W + x];
      if (v == 0) {
        out = 255;
        continue;
      }
      const int rad = v < 72 ? 3 : v <= bound ? 5 : 7;
      if (rowInside && x >= 7 && x + 7 < w) {
        const uint32_t count = uint32_t((2 * rad + 1) * (2 * rad + 1));
        out = count * src[size_t(y) * W + x] >= sums.Sum(x - rad, y - rad, x + rad, y + rad) ? 255 : 0;
        continue;
      }
      const int x0 = std::max(0, x - rad), x1 = std::min(w - 1, x + rad);
      const int y0 = std::max(0, y - rad), y1 = std::min(h - 1, y + rad);
      const uint32_t count = uint32_t((x1 - x0 + 1) * (y1 - y0 + 1));
      out = count * src[size_t(y) * W + x] >= sums.Sum(x0, y0, x1, y1) ? 255 : 0;
    }
  }
  std::memset(image, 255, W);
  std::memset(image + (H - 2) * W, 255, 2 * W);
  for (size_t y = 0; y < H; ++y) {
    uint8_t *row = image + y * W;
    row[0] = 255;
    row[W - 3] = row[W - 2] = row[W - 1] = 255;
  }
}

void removeSmallIslands(uint8_t *image, int w, int h) {
  const size_t n = size_t(w) * h;
  // 0 unvisited, -1 large region, otherwise the fill that last touched it.
  std::vector<int32_t> &label = threadBuffer<struct IslandLabels, int32_t>();
  label.assign(n, 0);
  int32_t queue[kIslandLimit];
  int queued = 0;
  int32_t fill = 0;
  for (size_t start = 0; start < n; ++start) {
    if (image[start] != 255 || label[start] != 0) continue;
    ++fill;
    queued = 0;
    queue[queued++] = int32_t(start);
    label[start] = fill;
    bool large = false;
    for (size_t head = 0; head < size_t(queued) && !large; ++head) {
      const int p = queue[head], x = p % w, y = p / w;
      const int next[4] = {y > 0 ? p - w : -1, x < w - 1 ? p + 1 : -1, y < h - 1 ? p + w : -1,
                           x > 0 ? p - 1 : -1};
      for (int q : next) {
        if (q < 0 || image[q] != 255 || label[q] == fill) continue;
        if (label[q] == -1 || queued >= kIslandLimit) {
          large = true;
          break;
        }
        label[q] = fill;
        queue[queued++] = q;
        if (queued >= kIslandLimit) {
          large = true;
          break;
        }
      }
    }
    for (int k = 0; k < queued; ++k) {
      const int32_t p = queue[k];
      if (large) label[size_t(p)] = -1;
      else image[p] = 0;
    }
  }
  for (size_t i = 0; i < n; ++i)
    if (image[i]) image[i] = 255;
}

void thinRidges(uint8_t *image, int w, int h) {
  // The image holds 0 (ridge) and 255 only, so bit 0 of a pixel tells
  // background. Each pass decides from a snapshot taken at its start.
  const uint8_t *table = thinningTable();
  std::vector<uint8_t> &before = threadBuffer<struct ThinSnapshot, uint8_t>();
  std::vector<uint8_t> &active = threadBuffer<struct ThinActiveRows, uint8_t>();
  active.assign(2 * size_t(h), 1);
  for (int iter = 0; iter < 6; ++iter) {
    bool deleted = false;
    for (int pass = 0; pass < 2; ++pass) {
      before.assign(image, image + size_t(w) * h);
      for (int y = 1; y <= h - 2; ++y) {
        if (!active[size_t(pass) * h + y]) continue;
        const uint8_t *up = &before[size_t(y - 1) * w], *mid = up + w, *down = mid + w;
        uint8_t *out = image + size_t(y) * w;
        uint8_t rowDeleted = 0;
        for (int x = 1; x <= w - 2; ++x) {
          // Runs of background (most of the image once the ridges are thin)
          // are skipped eight pixels at a time.
          uint64_t eight;
          if (x + 8 <= w - 1) {
            std::memcpy(&eight, mid + x, 8);
            if (eight == ~uint64_t(0)) {
              x += 7;
              continue;
            }
          }
          if (mid[x] & 1) continue;
          const int ul = up[x - 1] & 1, u = up[x] & 1, ur = up[x + 1] & 1, l = mid[x - 1] & 1,
                    r = mid[x + 1] & 1, dl = down[x - 1] & 1, d = down[x] & 1, dr = down[x + 1] & 1;
          // Neighbours from bit 7 down: pass 0 starts up-left and turns
          // anticlockwise, pass 1 starts down-right.
          const int code = pass == 0 ? ul << 7 | l << 6 | dl << 5 | d << 4 | dr << 3 | r << 2 | ur << 1 | u
                                     : dr << 7 | r << 6 | ur << 5 | u << 4 | ul << 3 | l << 2 | dl << 1 | d;
          if (table[code]) {
            out[x] = 255;
            rowDeleted = 1;
          }
        }
        if (!rowDeleted) active[size_t(pass) * h + y] = 0;
        deleted = deleted || rowDeleted;
      }
    }
    if (!deleted) break;
  }
}

}  // namespace minutiae
