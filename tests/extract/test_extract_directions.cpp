// The block directions, computed a cell row at a time, against the same
// measure taken cell by cell with brute-force window sums.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "direction_field.h"

namespace {

using minutiae::cellCols;
using minutiae::cellRows;

std::vector<uint8_t> RidgeImage(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-40, 40);
  std::vector<uint8_t> img(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double a = 0.02 * x * y / double(w) + 0.3 * x + 0.1 * y;  // turning ridges
      const int v = int(128 + 90 * std::sin(a)) + noise(rng);
      img[size_t(y) * w + x] = uint8_t(std::clamp(v, 0, 255));
    }
  return img;
}

std::vector<uint8_t> ReferenceBlockDirections(const std::vector<uint8_t> &img, int w, int h) {
  const int cw = cellCols(w), ch = cellRows(h);
  std::vector<minutiae::SlitComponents> cells(size_t(cw) * ch);
  for (int r = 0; r < ch; ++r)
    for (int c = 0; c < cw; ++c) cells[size_t(r) * cw + c] = minutiae::cellSlitComponents(img.data(), w, 3 * c + 2, 3 * r + 2);
  std::vector<uint8_t> field(cells.size());
  for (int r = 0; r < ch; ++r)
    for (int c = 0; c < cw; ++c) {
      int64_t s[4] = {};
      for (int rr = std::max(0, r - 4); rr <= std::min(ch - 1, r + 4); ++rr)
        for (int cc = std::max(0, c - 4); cc <= std::min(cw - 1, c + 4); ++cc)
          for (int k = 0; k < 4; ++k) s[k] += cells[size_t(rr) * cw + cc].c[k];
      field[size_t(r) * cw + c] = uint8_t(minutiae::sectorDirection(s));
    }
  return field;
}

TEST(BlockDirections, RowPassMatchesCellByCell) {
  for (auto [w, h] : {std::pair{256, 360}, std::pair{400, 400}, std::pair{640, 640}, std::pair{257, 361}})
    for (unsigned seed : {1u, 2u}) {
      const std::vector<uint8_t> img = RidgeImage(w, h, seed);
      std::vector<uint8_t> field(size_t(cellCols(w)) * cellRows(h));
      minutiae::computeBlockDirection(img.data(), w, h, field.data());
      EXPECT_EQ(field, ReferenceBlockDirections(img, w, h)) << w << "x" << h << " seed " << seed;
    }
}

}  // namespace
