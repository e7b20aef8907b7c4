// Reference point search: sectors, mask clean-up, the winding index and the
// search on sample prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "direction_field.h"
#include "direction_quality.h"
#include "fplib.h"
#include "fplib_test_util.h"
#include "ref_point.h"
#include "sector_map.h"

using namespace fplib;

namespace {

TEST(Sectors, DirectionRanges) {
  const int expect[][3] = {{0, 7, 1},    {8, 23, 8},   {24, 39, 7},  {40, 55, 6},
                           {56, 71, 5},  {72, 87, 4},  {88, 103, 3}, {104, 119, 2}};
  for (const auto &e : expect)
    for (int a = e[0]; a <= e[1]; ++a) EXPECT_EQ(sectorOfDirection(a), e[2]) << a;
}

TEST(MaskCleanUp, MajorityDropsSpecksAndErasingDropsNarrowRegions) {
  auto map = std::make_unique<SectorMap>();
  for (int r = 40; r < 160; ++r)
    for (int c = 50; c < 150; ++c) map->Mask(r, c) = 1;  // the finger
  map->Mask(20, 20) = 1;                                   // a speck
  for (int r = 30; r < 190; ++r)
    for (int c = 165; c < 185; ++c) map->Mask(r, c) = 1;  // a narrow strip
  filterMask(*map);
  EXPECT_EQ(map->Mask(20, 20), 0);
  EXPECT_EQ(map->Mask(100, 100), 1);
  EXPECT_EQ(map->Mask(100, 175), 1);  // the strip survives the majority filter
  eraseNarrowRegions(*map);
  EXPECT_EQ(map->Mask(100, 175), 0);
  EXPECT_EQ(map->Mask(100, 100), 1);
}

// Sectors of an orientation field turning by half a turn around (r0, c0):
// a loop with sign +1, a delta with -1.
std::unique_ptr<SectorMap> Singular(int sign, int r0 = 100, int c0 = 100) {
  auto map = std::make_unique<SectorMap>();
  for (int r = 0; r < kMapSize; ++r)
    for (int c = 0; c < kMapSize; ++c) {
      const double phi = std::atan2(r - r0, c - c0);
      double theta = std::fmod(sign * phi / 2 + 4 * M_PI, M_PI);  // 0..pi
      const int a = int(theta / M_PI * 120) % 120;
      map->sector[size_t(r) * kMapSize + c] = uint8_t(sectorOfDirection(a));
    }
  return map;
}

TEST(WindingIndex, LoopsAndDeltasTurnOppositeWays) {
  const int loop = windingIndex(*Singular(1), 100, 100), delta = windingIndex(*Singular(-1), 100, 100);
  EXPECT_NE(loop, 0);
  EXPECT_NE(delta, 0);
  EXPECT_LT(loop * delta, 0);
  EXPECT_EQ(std::abs(loop), std::abs(delta));
  // Away from the singular point the rings see no turning.
  EXPECT_EQ(windingIndex(*Singular(1), 100, 140), 0);
  // Near the border nothing is counted.
  EXPECT_EQ(windingIndex(*Singular(1, 14, 100), 14, 100), 0);
  // Without both ridge families nearby.
  auto flat = std::make_unique<SectorMap>();
  std::fill(flat->sector.begin(), flat->sector.end(), 1);
  EXPECT_EQ(windingIndex(*flat, 100, 100), -10);
}

TEST(RefPoint, NoFingerOrNoRidgeTurnGivesNoPoint) {
  std::vector<uint8_t> field(kCells, minutiae::kBackground);
  uint16_t point[2] = {7, 9};
  EXPECT_EQ(locateRefPoints(field.data(), point), -1);
  std::fill(field.begin(), field.end(), 0);  // all foreground, all horizontal
  EXPECT_EQ(locateRefPoints(field.data(), point), -1);
  EXPECT_EQ(point[0], 7);
  EXPECT_EQ(point[1], 9);
}

TEST(RefPointChoice, BestScoreNearTheLimitThenTheLastOnItsRun) {
  // {length, row, middle, lo, hi, score}
  std::vector<RefCandidate> c = {{30, 80, 100, 95, 105, 40}, {30, 120, 108, 100, 116, 30}};
  EXPECT_EQ(chooseCandidate(c, 100), 1);  // B lies on A's run, at most 55 rows lower
  c[1].row = 136;
  EXPECT_EQ(chooseCandidate(c, 120), 0);  // 56 rows lower
  c[1].row = 120;
  c[1].middle = 115;
  EXPECT_EQ(chooseCandidate(c, 100), 0);  // not strictly inside hi + 10
  c[1].middle = 114;
  c[1].score = 10;
  EXPECT_EQ(chooseCandidate(c, 100), 0);  // score must exceed 10
  // Far below the limit row only a trace that began far above it counts.
  std::vector<RefCandidate> low = {{50, 130, 100, 95, 105, 40}};
  EXPECT_EQ(chooseCandidate(low, 100), -1);  // 50 + 100 - 130 = 20
  low[0].length = 111;
  EXPECT_EQ(chooseCandidate(low, 100), 0);  // 111 + 100 - 130 = 81
  EXPECT_EQ(chooseCandidate({}, 100), -1);
  // The first choice itself can be taken again after an earlier one.
  std::vector<RefCandidate> three = {{30, 70, 100, 95, 105, 20}, {30, 80, 101, 95, 105, 50},
                                     {30, 200, 100, 95, 105, 60}};
  EXPECT_EQ(chooseCandidate(three, 100), 1);
}

// One long sector-1 run down rows 10..189 (columns 90..99) between sector 2
// on its left and 8 on its right, narrowed to columns 94..96 in row 69; below
// the waist the bordering sectors are (6, 2) when `turnBelow`.
std::unique_ptr<SectorMap> LongRun(bool turnBelow) {
  auto map = std::make_unique<SectorMap>();
  map->top = 10;
  map->bottom = 190;
  map->searchBound = 150;
  for (int r = 10; r <= 190; ++r) {
    map->left[r] = 40;
    map->right[r] = 160;
  }
  for (int r = 10; r < 190; ++r)
    for (int c = 40; c <= 160; ++c) {
      const bool below = turnBelow && r > 69;
      int s = c < 90 ? (below ? 6 : 2) : c <= 99 ? 1 : (below ? 2 : 8);
      if (r == 69 && c >= 90 && c <= 99 && (c < 94 || c > 96)) s = c < 94 ? 2 : 8;
      map->sector[size_t(r) * kMapSize + c] = uint8_t(s);
    }
  return map;
}

TEST(RefPointSearch, ALongTraceEndsTheSearchAtItsWaist) {
  int row = -1, col = -1;
  // Codes fall after the waist: the best step is the point, unrefined.
  ASSERT_EQ(searchRefPoint(*LongRun(true), row, col), 0);
  EXPECT_EQ(row, 69);
  EXPECT_EQ(col, 95);
  // Codes keep rising after the waist: the whole search fails.
  EXPECT_EQ(searchRefPoint(*LongRun(false), row, col), -1);
}

// A sector-1 run 13 cells wide (sector 2 on its left, 8 on its right) down
// rows 40..70, drifting 2 columns a row towards column `end`, where it stops.
std::unique_ptr<SectorMap> DriftingRun(int end) {
  auto map = std::make_unique<SectorMap>();
  map->top = 30;
  map->bottom = 190;
  map->searchBound = 150;
  std::fill(map->left, map->left + kMapSize, 0);
  std::fill(map->right, map->right + kMapSize, 199);
  for (int r = 40; r <= 70; ++r) {
    const int mid = end + (end < 100 ? 2 : -2) * (70 - r);
    for (int c = 0; c < kMapSize; ++c)
      map->sector[size_t(r) * kMapSize + c] = uint8_t(c < mid - 6 ? 2 : c <= mid + 6 ? 1 : 8);
  }
  return map;
}

TEST(RefPointSearch, RefinementKeepsToColumns20To180) {
  // The refinement starts 6 rows up, where the run has drifted away: inside
  // the columns it reports that start, outside them the run's end stays.
  for (int end : {19, 20, 180, 181}) {
    int row = -1, col = -1;
    ASSERT_EQ(searchRefPoint(*DriftingRun(end), row, col), 0) << end;
    EXPECT_EQ(col, end);
    EXPECT_EQ(row, end == 19 || end == 181 ? 70 : 64) << end;
  }
}

class SamplePoints : public fptest::FpLibTest {};

TEST_F(SamplePoints, PointsAreEvenInsideTheImageAndStableAcrossImpressions) {
  if (fptest::SampleDir().empty()) GTEST_SKIP() << "no sample prints";
  int found = 0, total = 0;
  std::vector<std::pair<int, int>> finger107;
  for (int f = 101; f <= 110; ++f)
    for (int i = 1; i <= 8; ++i) {
      std::vector<uint8_t> img = fptest::LoadSample(f, i), t(FP_TEMPLATE_SIZE);
      ASSERT_EQ(FP_FeatureExtract(1, 1, img.data(), t.data()), FP_OK);
      ++total;
      if (t[4] != 1 || t[22] == 0xFF) continue;
      ++found;
      ASSERT_LE(t[24], 1);
      const int x = t[22], y = t[23] | t[24] << 8;
      EXPECT_EQ(x % 2, 0);
      EXPECT_EQ(y % 2, 0);
      EXPECT_LE(y, 358);
      if (f == 107) finger107.push_back({x, y});
    }
  EXPECT_GE(found, total / 2);
  // Impressions 1..4 of finger 107 sit alike on the scanner.
  ASSERT_GE(finger107.size(), 4u);
  for (size_t k = 1; k < 4; ++k) {
    EXPECT_LE(std::abs(finger107[k].first - finger107[0].first), 30);
    EXPECT_LE(std::abs(finger107[k].second - finger107[0].second), 30);
  }
}

}  // namespace
