#include <gtest/gtest.h>

#include <random>

#include "match_tables.h"
#include "matcher_b_hull.h"
#include "matcher_b_score.h"
#include "matcher_b_test_sets.h"

using namespace fplib;
using namespace fplibtest;

namespace {

class MatcherBScore : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(EnsureMatchTables()); }
  FinalScoreScratchB scratch;
};

std::vector<HullPoint> Points(std::initializer_list<std::pair<int, int>> xy) {
  std::vector<HullPoint> out;
  for (const auto &p : xy) out.push_back({p.first, p.second, int(out.size())});
  return out;
}

TEST(MatcherBHull, GiftWrappingOfSquaresLinesAndDuplicates) {
  const auto square = Points({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {5, 5}, {3, 7}});
  const std::vector<int> hull = convexHull(square, 10);
  ASSERT_EQ(hull.size(), 5u);  // four corners, start repeated
  EXPECT_EQ(hull.front(), 0);
  EXPECT_EQ(hull.back(), 0);
  EXPECT_TRUE(InsideHull(square, hull, 5, 5));
  EXPECT_TRUE(InsideHull(square, hull, 10, 10));  // a vertex
  EXPECT_FALSE(InsideHull(square, hull, 11, 5));
  EXPECT_FALSE(InsideHull(square, hull, -1, -1));
  EXPECT_TRUE(convexHull(Points({{0, 0}, {1, 1}}), 10).empty());
  EXPECT_EQ(convexHull(Points({{0, 0}, {4, 0}, {0, 4}}), 10).size(), 4u);
  // Collinear points on an edge become vertices; the walk still closes.
  const auto edge = Points({{0, 0}, {5, 0}, {10, 0}, {10, 10}, {0, 10}});
  EXPECT_EQ(convexHull(edge, 10).size(), 6u);
  // A straight line has no inside: the walk gives up at its limit or closes flat.
  const auto line = Points({{0, 0}, {1, 0}, {2, 0}, {3, 0}});
  const std::vector<int> flat = convexHull(line, 5);
  if (!flat.empty()) {
    EXPECT_FALSE(InsideHull(line, flat, 1, 1));
  }
  EXPECT_TRUE(convexHull(square, 2).empty());  // more steps than the limit
  const auto dup = DistinctPositions(Points({{1, 1}, {1, 1}, {4, 1}, {1, 1}, {4, 4}}));
  EXPECT_EQ(dup.size(), 3u);
  EXPECT_EQ(countInsideHull(Points({{2, 2}, {11, 9}, {0, 0}}), square), 2);
  EXPECT_EQ(countInsideHull(square, Points({{0, 0}, {0, 0}, {1, 1}})), -1);
}

// The laid-out edges answer as the plain winding test for every position in
// and around a hull: vertices, points on edges, level and steep edges,
// collinear vertices, hulls far from the origin, and wide coordinates that
// need 64-bit products.
TEST(MatcherBHull, EdgesAnswerAsTheWindingTest) {
  std::mt19937 rng(17);
  int hulls = 0, monotone = 0;
  for (int round = 0; round < 400; ++round) {
    const int spread = round % 4 == 0 ? 12 : round % 4 == 1 ? 60 : round % 4 == 2 ? 300 : 30000;
    const int offset = round % 7 == 0 ? 20000 : round % 5 == 0 ? -spread : 0;
    std::uniform_int_distribution<int> coord(0, spread);
    std::vector<HullPoint> pts;
    const int n = 3 + round % 40;
    for (int i = 0; i < n; ++i) {
      if (round % 3 == 0 && i % 4 == 1) {
        // On a line with the previous point: collinear and level runs.
        const HullPoint &p = pts.back();
        pts.push_back({p.x + (i % 8 == 1 ? 5 : 0), p.y + (i % 8 == 5 ? 5 : 0), i});
      } else {
        pts.push_back({offset + coord(rng), offset + coord(rng), i});
      }
    }
    const std::vector<HullPoint> distinct = DistinctPositions(pts);
    const std::vector<int> hull = convexHull(distinct, int(distinct.size()) + 1);
    if (hull.empty()) continue;
    HullEdgesB edges;
    ASSERT_TRUE(MakeHullEdges(distinct, hull, edges));
    ++hulls;
    monotone += edges.monotone;
    std::vector<std::pair<int, int>> probes;
    for (const HullPoint &p : distinct)
      for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy) probes.push_back({p.x + dx, p.y + dy});
    for (size_t i = 0; i + 1 < hull.size(); ++i) {
      const HullPoint &a = distinct[size_t(hull[i])], &b = distinct[size_t(hull[i + 1])];
      probes.push_back({(a.x + b.x) / 2, (a.y + b.y) / 2});
    }
    std::uniform_int_distribution<int> wide(offset - spread / 2, offset + spread + spread / 2);
    for (int k = 0; k < 200; ++k) probes.push_back({wide(rng), wide(rng)});
    for (const auto &q : probes)
      ASSERT_EQ(InsideHullEdges(edges, q.first, q.second), InsideHull(distinct, hull, q.first, q.second))
          << "round " << round << " at " << q.first << "," << q.second;
  }
  EXPECT_GT(hulls, 300);
  EXPECT_GT(monotone, 200);
}

// Small coordinates take 32-bit keys and a 32-bit walk, far ones the wide
// forms; moved far away, a set must keep the same distinct positions and
// give the same hull, step for step, including collinear runs, repeated
// positions and walks cut short by their limit.
TEST(MatcherBHull, NearAndFarSetsWalkAlike) {
  std::mt19937 rng(29);
  int walked = 0;
  for (int round = 0; round < 300; ++round) {
    std::uniform_int_distribution<int> coord(round % 2 ? -40 : 0, round % 3 ? 60 : 2000);
    std::vector<HullPoint> near;
    const int n = 3 + round % 60;
    for (int i = 0; i < n; ++i) {
      if (round % 4 == 0 && i % 3 == 2) {
        const HullPoint &p = near.back();
        near.push_back({p.x + (i % 2 ? 7 : 0), p.y + (i % 2 ? 0 : 7), i});  // collinear runs
      } else if (round % 5 == 0 && i % 7 == 6) {
        near.push_back(near[size_t(i) / 2]);  // a repeated position
      } else {
        near.push_back({coord(rng), coord(rng), i});
      }
    }
    std::vector<HullPoint> far = near;
    for (HullPoint &p : far) {
      p.x += 40000;
      p.y -= 45000;
    }
    const std::vector<HullPoint> nearDistinct = DistinctPositions(near), farDistinct = DistinctPositions(far);
    ASSERT_EQ(nearDistinct.size(), farDistinct.size()) << "round " << round;
    for (size_t i = 0; i < nearDistinct.size(); ++i) ASSERT_EQ(nearDistinct[i].id, farDistinct[i].id);
    for (int limit : {n + 1, n / 3, 3}) {
      const std::vector<int> a = convexHull(near, limit), b = convexHull(far, limit);
      ASSERT_EQ(a, b) << "round " << round << " limit " << limit;
      walked += !a.empty();
    }
  }
  EXPECT_GT(walked, 300);
}

// MakeHull leaves points inside the extreme points' quadrilateral out of
// its walk; it must give the hull the full walk gives, on dense sets with
// collinear runs along the axes and diagonals, repeated positions, and
// walks cut short by their limit.
TEST(MatcherBHull, HullWithoutInnerPointsMatchesFullWalk) {
  std::mt19937 rng(31);
  int walked = 0, wide = 0;
  for (int round = 0; round < 400; ++round) {
    const int span = round % 3 == 0 ? 12 : round % 3 == 1 ? 80 : 1500;
    std::uniform_int_distribution<int> coord(-span / 2, span);
    std::vector<HullPoint> pts;
    const int n = 3 + round % 90;
    for (int i = 0; i < n; ++i) {
      if (round % 4 == 0 && i % 3 == 2) {
        const HullPoint &p = pts.back();
        const int step = 1 + i % 5;
        pts.push_back({p.x + (i % 2 ? step : 0), p.y + (i % 4 == 2 ? step : 0), i});  // collinear runs
      } else if (round % 5 == 0 && i % 6 == 5) {
        pts.push_back(pts[size_t(i) / 2]);  // a repeated position
      } else {
        pts.push_back({coord(rng), coord(rng), i});
      }
    }
    const std::vector<HullPoint> distinct = DistinctPositions(pts);
    const int m = int(distinct.size());
    for (int limit : {-1, m / 3, 3}) {
      HullScratchB h;
      const bool made = MakeHull(pts, limit, h);
      const std::vector<int> full = convexHull(distinct, limit < 0 ? m + 1 : limit);
      ASSERT_EQ(made, !full.empty()) << "round " << round << " limit " << limit;
      ASSERT_EQ(h.hull, full) << "round " << round << " limit " << limit;
      walked += made;
      wide += made && int(full.size()) - 1 > 4;
    }
  }
  EXPECT_GT(walked, 400);
  EXPECT_GT(wide, 200);
}

// The batch count takes the two-edge test in line; it must count what the
// single test accepts, on and off the hull's lowest and highest levels,
// for small and far sets (the latter without laid-out levels).
TEST(MatcherBHull, BatchCountMatchesSingleTests) {
  std::mt19937 rng(37);
  int levelled = 0;
  for (int round = 0; round < 200; ++round) {
    const int span = round % 4 == 3 ? 5000 : 40 + round;
    const int offset = round % 5 == 4 ? 30000 : 0;
    std::uniform_int_distribution<int> coord(offset, offset + span);
    std::vector<HullPoint> pts;
    for (int i = 0; i < 4 + round % 50; ++i) pts.push_back({coord(rng), coord(rng), i});
    HullScratchB h;
    if (!MakeHull(pts, -1, h)) continue;
    levelled += h.fits && h.edges.levelled;
    std::vector<int> xs, ys;
    std::uniform_int_distribution<int> wide(offset - span / 4, offset + span + span / 4);
    for (const HullPoint &p : pts)
      for (int d = -1; d <= 1; ++d) {
        xs.push_back(p.x + d);
        ys.push_back(p.y);
        xs.push_back(p.x);
        ys.push_back(p.y + d);
      }
    for (int k = 0; k < 150; ++k) {
      xs.push_back(wide(rng));
      ys.push_back(wide(rng));
    }
    int expected = 0;
    for (size_t i = 0; i < xs.size(); ++i) expected += InsideMadeHull(h, xs[i], ys[i]);
    ASSERT_EQ(CountInsideMadeHull(h, xs.data(), ys.data(), int(xs.size())), expected) << "round " << round;
  }
  EXPECT_GT(levelled, 100);
}

// Statistics whose deviation is only E / S, with S neighbour pairs.
ScoreStatisticsB Stats(int pairs, int lengthSum, int S) {
  ScoreStatisticsB st;
  st.pairs = pairs;
  st.nd = S;
  st.nb = 1;
  st.len = lengthSum;
  return st;
}

MatcherBResult Pairs(int c) {
  MatcherBResult r;
  r.pairCount = c;
  for (int i = 0; i < c; ++i) {
    r.first[i] = r.second[i] = i;
    r.firstPaired[i] = r.secondPaired[i] = 1;
  }
  return r;
}

TEST_F(MatcherBScore, FinalScoreWorkedValues) {
  PointSetB none;
  MatcherBResult r = Pairs(8);
  computeFinalScore(Stats(8, 0, 1), none, none, r, {}, scratch);
  EXPECT_EQ(r.score, 1000);  // D = 0 with 8 pairs: no coverage stage
  r = Pairs(2);
  r.score = 500;
  computeFinalScore(Stats(2, 0, 1), none, none, r, {}, scratch);
  EXPECT_EQ(r.score, 0);
  // D = 83 / 4 = 20.75 with 31 pairs: v = 460, then 460 x 112 / 100.
  r = Pairs(31);
  computeFinalScore(Stats(31, 83, 4), none, none, r, {}, scratch);
  EXPECT_EQ(r.score, 515);
  // Without neighbour pairs there is no score.
  ScoreStatisticsB st = Stats(8, 0, 1);
  st.nd = 0;
  r = Pairs(8);
  computeFinalScore(st, none, none, r, {}, scratch);
  EXPECT_EQ(r.score, 0);
}

TEST_F(MatcherBScore, SmallPairingsBlendCoverageAndOverlap) {
  const PointSetB a = ToPointSet(FingerSet(1, 10));
  for (int c : {6, 7}) {
    MatcherBResult r = Pairs(c);
    PointSetB sub = a;
    sub.count = c;
    EXPECT_EQ(countInsideOwnHull(sub, r, false, scratch), c);
    EXPECT_EQ(overlapRatio(sub, r, sub, {}, scratch), 1 << 14);
    computeFinalScore(Stats(c, 0, 1), sub, sub, r, {}, scratch);
    EXPECT_EQ(r.score, c == 6 ? 714 : 769);
  }
  // D = 20 with 10 pairs: the blend gives 678. D = 23: the blend falls
  // below 650 (638) and the linear form gives 406.
  MatcherBResult r = Pairs(10);
  computeFinalScore(Stats(10, 200, 10), a, a, r, {}, scratch);
  EXPECT_EQ(r.score, 678);
  r = Pairs(10);
  computeFinalScore(Stats(10, 230, 10), a, a, r, {}, scratch);
  EXPECT_EQ(r.score, 406);
}

TEST_F(MatcherBScore, OverlapFallsWithUnpairedMinutiaeInTheCommonArea) {
  const PointSetB a = ToPointSet(FingerSet(4, 30));
  MatcherBResult r = Pairs(10);
  const int partial = overlapRatio(a, r, a, {}, scratch);
  EXPECT_GT(partial, 0);
  EXPECT_LT(partial, 1 << 14);
  r = Pairs(30);
  EXPECT_EQ(overlapRatio(a, r, a, {}, scratch), 1 << 14);
  EXPECT_EQ(overlapRatio(a, Pairs(2), a, {}, scratch), 0);
}

TEST_F(MatcherBScore, FinalAlignmentOfATurnedCopy) {
  const PointSetB a = ToPointSet(FingerSet(6, 30));
  for (int rot : {-40, -3, 0, 25}) {
    const PointSetB b = Transform(a, rot, 30, -12);
    AlignmentB al;
    ASSERT_EQ(estimateFinalAlignment(a, b, Pairs(30), al), 1);
    EXPECT_EQ(al.rotation, rot);
    EXPECT_EQ(al.dx, 30);
    EXPECT_EQ(al.dy, -12);
  }
  AlignmentB al;
  EXPECT_EQ(estimateFinalAlignment(a, a, Pairs(0), al), 0);
}

}  // namespace
