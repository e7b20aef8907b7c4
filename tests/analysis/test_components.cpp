// Region labelling, the size filter with concavity closing, and the box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image_analysis.h"
#include "reference.h"

namespace {

using Map = std::vector<int8_t>;

Map FromRows(const std::vector<std::string> &rows) {
  Map m;
  for (const auto &r : rows)
    for (char c : r) m.push_back(int8_t(c == '.' ? 0 : c - '0'));
  return m;
}

Map RandomMap(int bw, int bh, int density, uint32_t &seed) {
  Map m(size_t(bw) * bh);
  for (auto &v : m) {
    seed = seed * 1664525u + 1013904223u;
    v = int8_t(int(seed >> 24) % 100 < density ? 1 + (seed >> 8) % 8 : 0);
  }
  return m;
}

TEST(Components, LabellingMatchesSweepReferenceOnRandomMaps) {
  belnor::AnalysisContext ctx;
  uint32_t seed = 3;
  const int sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {2, 2}, {5, 3}, {13, 11}, {40, 45}, {80, 80}};
  for (const auto &s : sizes)
    for (int density : {10, 35, 55, 70, 90})
      for (int round = 0; round < 8; ++round) {
        Map a = RandomMap(s[0], s[1], density, seed), b = a;
        const int na = belnor::LabelComponents(ctx, a.data(), s[0], s[1]);
        const int nb = ref::LabelComponents(b.data(), s[0], s[1]);
        ASSERT_EQ(na, nb) << s[0] << "x" << s[1] << " density " << density;
        ASSERT_EQ(a, b) << s[0] << "x" << s[1] << " density " << density;
      }
}

TEST(Components, FilterMatchesReferenceOnRandomMaps) {
  belnor::AnalysisContext ctx;
  uint32_t seed = 5;
  for (int density : {30, 50, 65, 80})
    for (int minimum : {1, 5, 20, 100})
      for (int round = 0; round < 6; ++round) {
        Map a = RandomMap(40, 45, density, seed), b = a;
        ASSERT_EQ(belnor::FilterComponents(ctx, a.data(), 40, 45, minimum),
                  ref::FilterComponents(b.data(), 40, 45, minimum));
        ASSERT_EQ(a, b) << "density " << density << " minimum " << minimum;
      }
}

TEST(Components, LabelQuirksAreKept) {
  belnor::AnalysisContext ctx;
  // A region only in column 0 is never seeded.
  Map m = FromRows({"1...", "1...", "....", "..11"});
  EXPECT_EQ(belnor::LabelComponents(ctx, m.data(), 4, 4), 1);
  EXPECT_EQ(m, FromRows({"1...", "1...", "....", "..99"}));

  // 60 separate regions: only 59 are labelled, the last keeps its direction.
  Map many(size_t(120) * 2, 0);
  for (int k = 0; k < 60; ++k) many[size_t(2 * k + 1)] = 4;
  EXPECT_EQ(belnor::LabelComponents(ctx, many.data(), 120, 2), 59);
  EXPECT_EQ(many[1], 9);
  EXPECT_EQ(many[117], 67);
  EXPECT_EQ(many[119], 4);

  // Corner rule: the top-left block takes its right neighbour's label.
  Map corner = FromRows({".5", "3."});
  belnor::LabelComponents(ctx, corner.data(), 2, 2);
  EXPECT_EQ(corner, Map({9, 9, 3, 0}));
}

TEST(Components, SeedThatCannotGrowLeavesItsColumnZeroNeighbourToTheNextRegion) {
  belnor::AnalysisContext ctx;
  // Row 1: the seed at column 1 has only a column-0 neighbour; the first
  // forward sweep changes nothing, so the seed stays alone. The next region's
  // backward sweep then takes the column-0 block.
  Map m = FromRows({"....", "11..", "....", "..11", "..11"});
  Map r = m;
  EXPECT_EQ(belnor::LabelComponents(ctx, m.data(), 4, 5), 2);
  ref::LabelComponents(r.data(), 4, 5);
  EXPECT_EQ(m, r);
  EXPECT_EQ(m[4], 10);
  EXPECT_EQ(m[5], 9);
}

TEST(Components, FilterErasesSmallRegionsAndClosesConcavities) {
  belnor::AnalysisContext ctx;
  // A ring: the gaps of rows 2 and 3 have the region above and below them.
  Map u = FromRows({"........",
                    ".222222.",
                    ".2....2.",
                    ".2....2.",
                    ".222222.",
                    "........",
                    "......3."});
  Map expected = FromRows({"........",
                           ".222222.",
                           ".211112.",
                           ".211112.",
                           ".222222.",
                           "........",
                           "........"});
  EXPECT_EQ(belnor::FilterComponents(ctx, u.data(), 8, 7, 2), 1);
  EXPECT_EQ(u, expected);
  Map none = FromRows({"...", ".1.", "..."});
  EXPECT_EQ(belnor::FilterComponents(ctx, none.data(), 3, 3, 2), 0);
  EXPECT_EQ(none, Map(9, 0));
}

TEST(Components, BoundingBoxNeedsExtentInBothDirections) {
  belnor::Rectangle r{1, 2, 3, 4};
  Map m = FromRows({"....", ".1..", "..1.", "...."});
  EXPECT_EQ(belnor::MapBoundingBox(m.data(), 4, 4, &r), 2);
  EXPECT_EQ(r.left, 1);
  EXPECT_EQ(r.top, 1);
  EXPECT_EQ(r.right, 2);
  EXPECT_EQ(r.bottom, 2);
  Map line = FromRows({"....", "1111", "....", "...."});
  EXPECT_EQ(belnor::MapBoundingBox(line.data(), 4, 4, &r), 4);
  EXPECT_EQ(r.left + r.top + r.right + r.bottom, 0);
}

}  // namespace
