#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <tuple>
#include <vector>

#include "match_tables.h"
#include "matcher_b_context.h"
#include "matcher_b_test_sets.h"

using namespace fplib;
using namespace fplibtest;

namespace {

class MatcherBPrepare : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(EnsureMatchTables()); }
};

// The cells must follow each other in the flat item array, items carrying
// their points' angles, each cell's items in the order they were filed
// (pairs by rising first index, then second), and the row index must point
// at each list's first entry of a row.
void ExpectScanMatchesGrid(const MatcherBContext &ctx, const PointSetB &ps) {
  const PairGridB &g = ctx.grid;
  size_t at = 0;
  for (int r = 0; r < g.rows; ++r)
    for (int c = 0; c < g.columns; ++c) {
      const size_t cell = size_t(r) * size_t(g.columns) + size_t(c);
      ASSERT_EQ(g.cellStart[cell], at) << r << "," << c;
      int lastLow = -1, lastHigh = -1;
      for (const PairScanB &e : g.at(r, c)) {
        ASSERT_EQ(&e, &g.scan[at++]);
        ASSERT_EQ(e.fromAngle, ps.points[e.from].angle);
        ASSERT_EQ(e.toAngle, ps.points[e.to].angle);
        const int low = std::min(e.from, e.to), high = std::max(e.from, e.to);
        ASSERT_TRUE(low > lastLow || (low == lastLow && high >= lastHigh)) << r << "," << c;
        lastLow = low;
        lastHigh = high;
      }
    }
  ASSERT_EQ(g.cellStart[size_t(g.rows) * size_t(g.columns)], at);
  ASSERT_EQ(g.scan.size(), at);
  for (int p = 0; p < ps.count; ++p) {
    const std::vector<PairRefB> &l = ctx.pairLists[size_t(p)];
    for (int r = 0; r < kListRowSlots; ++r) {
      size_t first = 0;
      while (first < l.size() && l[first].row < r) ++first;
      ASSERT_EQ(g.listRowStart[size_t(p) * kListRowSlots + size_t(r)], first) << p << " row " << r;
    }
  }
}

TEST(MatcherBLoad, FlipsRowsAgainstTheSetAndTurnsAngles) {
  const Record r = MakeRecord({{10, 200, 0}, {20, 150, 90}, {255, 0, 359}, {0, 100, 300}, {5, 6, 7}, {8, 9, 10}});
  MinutiaeSetB set;
  ASSERT_EQ(loadMinutiaeB(r.data(), set), 0);
  ASSERT_EQ(set.count, 6);
  EXPECT_EQ(set.entries[0].y, 0);  // the largest y
  EXPECT_EQ(set.entries[1].y, 50);
  EXPECT_EQ(set.entries[2].y, 200);
  EXPECT_EQ(set.entries[2].x, 255);
  EXPECT_EQ(set.entries[2].angle, 359);
  PointSetB ps;
  toPointSetB(set, ps);
  EXPECT_EQ(ps.points[0].angle, 0);
  EXPECT_EQ(ps.points[1].angle, 270);
  EXPECT_EQ(ps.points[2].angle, 1);
  EXPECT_EQ(ps.points[3].angle, 60);
}

TEST(MatcherBLoad, RefusesWholeRecordsAndAcceptsTheEdges) {
  MinutiaeSetB set;
  EXPECT_EQ(loadMinutiaeB(MakeRecord(FingerSet(1, 10), 2).data(), set), kAlgBadSize);
  Record many = MakeRecord(FingerSet(1, 10));
  many[kRecordCount] = 101;
  EXPECT_EQ(loadMinutiaeB(many.data(), set), kAlgBadSize);
  many[kRecordCount] = 100;  // zero slots read as (0, 0, 0)
  EXPECT_EQ(loadMinutiaeB(many.data(), set), 0);
  EXPECT_EQ(set.count, 100);
  EXPECT_EQ(loadMinutiaeB(MakeRecord({{1, 360, 0}}).data(), set), kAlgBadSize);
  EXPECT_EQ(set.count, 0);
  EXPECT_EQ(loadMinutiaeB(MakeRecord({{1, 2, 360}}).data(), set), kAlgBadSize);
  EXPECT_EQ(loadMinutiaeB(MakeRecord({{255, 359, 359}}).data(), set), 0);
  EXPECT_EQ(loadMinutiaeB(MakeRecord({}).data(), set), 0);
  EXPECT_EQ(set.count, 0);
}

// The remainders skip the division in the usual ranges; everywhere they
// agree with the operator.
TEST(MatcherBGeometry, RemaindersAgreeWithTheOperator) {
  for (int v = -3000; v <= 3000; ++v) {
    ASSERT_EQ(Rem360(v), v % 360) << v;
    ASSERT_EQ(Mod360(v), (v % 360 + 360) % 360) << v;
    ASSERT_EQ(Mod72(v), (v % 72 + 72) % 72) << v;
  }
  for (int v : {INT32_MIN + 1, -1000000, 1000000, INT32_MAX}) {
    EXPECT_EQ(Rem360(v), v % 360) << v;
    EXPECT_EQ(Mod360(v), (v % 360 + 360) % 360) << v;
    EXPECT_EQ(Mod72(v), (v % 72 + 72) % 72) << v;
  }
}

// The quadrant and quarter angles are arithmetic on the sign tests: they
// must give what the tests spelled out as cases give, the axes included.
TEST_F(MatcherBPrepare, QuadrantAnglesFollowTheSignCases) {
  for (int dx : {-7, -1, 0, 1, 7})
    for (int dy : {-7, -1, 0, 1, 7})
      for (int f = 0; f <= 90; ++f) {
        const int grid = dx <= 0 && dy <= 0 ? f + 180 : dx <= 0 ? 180 - f : dy < 0 ? 360 - f : f;
        ASSERT_EQ(DirectionQuadrantDeg(dx, dy, f), grid) << dx << "," << dy << "," << f;
        const int pair = dx > 0 && dy <= 0 ? 180 + f : dx > 0 ? 180 - f : dy < 0 ? 360 - f : f;
        ASSERT_EQ(QuadrantTurn(int(dx > 0), dy, f), pair) << dx << "," << dy << "," << f;
      }
  for (int ax = 0; ax < kGeometrySpan; ++ax)
    for (int ay = 0; ay < kGeometrySpan; ++ay)
      ASSERT_EQ(QuarterDeg(ax, ay), ay >= ax ? AtanDeg(ay, ax) : 90 - AtanDeg(ax, ay)) << ax << "," << ay;
}

TEST_F(MatcherBPrepare, PairGeometryAgainstFloatingPoint) {
  SideGeometryB g{};
  for (int dx = -179; dx <= 179; dx += 7)
    for (int dy = -179; dy <= 179; dy += 5) {
      const PointB p{10, 200, 200}, q{250, 200 + dx, 200 + dy};
      ASSERT_EQ(pairGeometryB(p, q, 15, g), 1);
      ASSERT_EQ(g.length, int(std::sqrt(double(dx * dx + dy * dy))));
      ASSERT_EQ(g.angleDiff, 240);
      // The direction of p -> q is the angle of (p.x - q.x, q.y - p.y).
      double ref = std::atan2(double(dy), double(-dx)) * 180.0 / M_PI;
      if (dx == 0 && dy == 0) ref = 90;
      const double err = std::fabs(std::remainder(g.direction - ref, 360.0));
      ASSERT_LE(err, 1.0 + 1e-9) << dx << "," << dy << " -> " << g.direction;
      ASSERT_EQ(g.angleToSide, Mod360(q.angle - g.direction));
    }
  // Beyond the tables every requested field reads -1.
  g = {5, 5, 5, 5};
  EXPECT_EQ(pairGeometryB({0, 0, 0}, {0, 180, 0}, 15, g), 0);
  EXPECT_EQ(g.direction, -1);
  EXPECT_EQ(g.angleToSide, -1);
  EXPECT_EQ(g.angleDiff, -1);
  EXPECT_EQ(g.length, -1);
}

TEST_F(MatcherBPrepare, ToleranceBandsAndSideConsistency) {
  EXPECT_EQ(matchTolerance(3, 1, 0, 0), 18);
  EXPECT_EQ(matchTolerance(4, 1, 0, 0), 23);
  EXPECT_EQ(matchTolerance(45, 1, 0, 0), 35);
  EXPECT_EQ(matchTolerance(46, 1, 0, 0), 40);
  EXPECT_EQ(matchTolerance(46, 1, 1, 0), 8);
  EXPECT_EQ(matchTolerance(22, 0, 0, 1), 40);  // distance 22 is bin 4
  EXPECT_EQ(matchTolerance(23, 0, 0, 1), 35);
  EXPECT_EQ(matchTolerance(20, 1, 0, 7), 40);
  EXPECT_EQ(matchTolerance(21, 1, 0, 7), 35);
  EXPECT_EQ(matchTolerance(0, 1, 0, 5), 20);
  EXPECT_EQ(sideConsistency(50, 100, 50, 70, 30, false), 1000);
  EXPECT_EQ(sideConsistency(50, 100, 50, 200, 0, false), 0);      // direction out
  EXPECT_EQ(sideConsistency(50, 100, 150, 280, 0, false), -999);  // both out
}

TEST_F(MatcherBPrepare, PairGridFilesEveryNearPairTwice) {
  const PointSetB ps = ToPointSet(FingerSet(3, 60));
  MatcherBContext ctx;
  ASSERT_TRUE(createMatcherBContext(ctx, false));
  buildPairGridB(ps, ctx.grid, ctx.pairLists);
  std::set<std::pair<int, int>> filed;
  size_t items = 0;
  for (int r = 0; r < kGridRows; ++r)
    for (int c = 0; c < kGridColumns; ++c)
      for (const PairItemB &it : ctx.grid.at(r, c)) {
        ++items;
        filed.insert({it.from, it.to});
        SideGeometryB g{};
        // An item's angle is its from-point against the direction to -> from.
        ASSERT_EQ(pairGeometryB(ps.points[it.to], ps.points[it.from], 15, g), 1);
        EXPECT_EQ(it.angle, Mod360(ps.points[it.from].angle - g.direction));
        EXPECT_EQ(r, (g.length * 819) >> 12);
      }
  size_t near = 0;
  for (int i = 0; i < ps.count; ++i)
    for (int j = 0; j < ps.count; ++j) {
      const int dx = ps.points[i].x - ps.points[j].x, dy = ps.points[i].y - ps.points[j].y;
      if (i != j && int(std::sqrt(double(dx * dx + dy * dy))) < 130) {
        ++near;
        EXPECT_TRUE(filed.count({i, j}));
      }
    }
  EXPECT_EQ(items, near);
  ExpectScanMatchesGrid(ctx, ps);
  for (int u = 0; u < ps.count; ++u) {
    int lastRow = 0;
    for (const PairRefB &ref : ctx.pairLists[size_t(u)]) {
      EXPECT_EQ(RefItem(ctx, ref).to, u);
      // The copies the searches read instead of the grid.
      EXPECT_EQ(ref.from, RefItem(ctx, ref).from);
      EXPECT_EQ(ref.angle, RefItem(ctx, ref).angle);
      EXPECT_GE(ref.row, lastRow);
      lastRow = ref.row;
    }
  }
}

TEST_F(MatcherBPrepare, PairGridEdges) {
  MatcherBContext ctx;
  ASSERT_TRUE(createMatcherBContext(ctx, false));
  PointSetB ps;
  ps.count = 4;
  ps.points[0] = {0, 0, 0};
  ps.points[1] = {0, 129, 0};    // 129 apart: row 25
  ps.points[2] = {100, 0, 130};  // 130 from point 0: not filed
  ps.points[3] = {100, 129, 130};
  buildPairGridB(ps, ctx.grid, ctx.pairLists);
  EXPECT_EQ(ctx.grid.at(25, 0).size(), 4u);  // equal angles: both orders in column 0
  EXPECT_EQ(ctx.grid.scan.size(), 4u);
  // 120 points within reach of each other fill every list to 119.
  PointSetB dense;
  dense.count = kMaxPointsB;
  for (int i = 0; i < kMaxPointsB; ++i) dense.points[i] = {i * 3 % 360, 10 + (i % 12) * 8, 10 + (i / 12) * 8};
  buildPairGridB(dense, ctx.grid, ctx.pairLists);
  for (int i = 0; i < kMaxPointsB; ++i) EXPECT_EQ(ctx.pairLists[size_t(i)].size(), 119u);
  ExpectScanMatchesGrid(ctx, dense);
  // A smaller set after the full one leaves nothing of it behind.
  clearPairGrid(ctx.grid, ctx.pairLists);
  buildPairGridB(ps, ctx.grid, ctx.pairLists);
  ExpectScanMatchesGrid(ctx, ps);
}

TEST_F(MatcherBPrepare, NearNeighboursAreTheFirstOfEachList) {
  // A dense set, where lists run past five entries in the near rows, and a
  // sparse one, where some stop short.
  for (const PointSetB &ps : {ToPointSet(FingerSet(5, 80, 128, 180, 60)), ToPointSet(FingerSet(6, 12))}) {
    MatcherBContext ctx;
    ASSERT_TRUE(createMatcherBContext(ctx, true));
    ctx.points = &ps;
    prepareMatcherBContext(ctx);
    for (int m = 0; m < ps.count; ++m) {
      std::vector<int> all, later;
      for (const PairRefB &ref : ctx.pairLists[size_t(m)]) {
        if (ref.row > 12) break;
        if (all.size() < 5) all.push_back(ref.from);
        if (ref.from > m && later.size() < 5) later.push_back(ref.from);
      }
      const NearNeighboursB &near = ctx.near[size_t(m)];
      ASSERT_EQ(std::vector<int>(near.point, near.point + near.count), all) << m;
      ASSERT_EQ(std::vector<int>(near.later, near.later + near.laterCount), later) << m;
      for (int q = 0; q < near.count; ++q) {
        SideGeometryB g{};
        ASSERT_EQ(near.valid[q], pairGeometryB(ps.points[near.point[q]], ps.points[m], kGeoDirection | kGeoLength, g) != 0);
        EXPECT_EQ(near.length[q], g.length);
        EXPECT_EQ(near.direction[q], g.direction);
      }
    }
  }
}

TEST_F(MatcherBPrepare, ToleranceTablesAgreeWithTheRules) {
  // Past the tables' end too, where the rules answer directly.
  for (int v = -5; v < kToleranceSpan + 40; ++v) {
    ASSERT_EQ(TolLen(v), matchTolerance(v, 1, 1, 0)) << v;
    ASSERT_EQ(TolDir(v), matchTolerance(v, 1, 1, 1)) << v;
    ASSERT_EQ(TolSide(v), matchTolerance(v, 1, 1, 7)) << v;
    ASSERT_EQ(TolLenOf(v), matchTolerance(v, 0, 0, 0)) << v;
    ASSERT_EQ(TolDirOf(v), matchTolerance(v, 0, 0, 1)) << v;
  }
}

TEST_F(MatcherBPrepare, NearAngleTablesAgreeWithTheFolds) {
  for (int v = -kNearAngleSpan; v <= kNearAngleSpan; ++v) {
    ASSERT_EQ(FoldNear(v), Fold(v)) << v;
    ASSERT_EQ(Wrap180Near(v), Wrap180(v)) << v;
  }
  // Beyond the span FoldAny divides.
  for (int v = -3 * kNearAngleSpan; v <= 3 * kNearAngleSpan; ++v) ASSERT_EQ(FoldAny(v), Fold(v)) << v;
}

TEST_F(MatcherBPrepare, GroupsCoverEveryPointOnce) {
  for (unsigned seed : {1u, 2u, 3u}) {
    for (int n : {1, 7, 40, 100}) {
      const PointSetB ps = ToPointSet(FingerSet(seed, n, 128, 180, 120, 4));
      GroupSetB gs;
      std::vector<int> order;
      for (int i = 0; i < ps.count; ++i) order.push_back(i);
      groupPointsB(gs, order, ps);
      std::vector<int> seen(size_t(ps.count), 0);
      for (size_t g = 0; g < gs.groups.size(); ++g)
        for (int m : gs.groups[g].members) {
          ++seen[size_t(m)];
          EXPECT_EQ(gs.pointToGroup[size_t(m)], int(g));
        }
      for (int c : seen) EXPECT_EQ(c, 1);
      // No two remaining centres are close enough for the tightest merge.
      for (size_t a = 0; a < gs.groups.size(); ++a)
        for (size_t b = a + 1; b < gs.groups.size(); ++b) {
          if (gs.groups[a].members.empty() || gs.groups[b].members.empty()) continue;
          const int dx = std::abs(gs.groups[a].x - gs.groups[b].x), dy = std::abs(gs.groups[a].y - gs.groups[b].y);
          EXPECT_FALSE(dx <= 30 && dy <= 30 && VectorLength(dx, dy) < 30);
        }
    }
  }
  // Every point at one place: one group, and the merge ends.
  PointSetB same;
  same.count = 50;
  for (int i = 0; i < 50; ++i) same.points[i] = {i, 100, 100};
  GroupSetB gs;
  std::vector<int> order(50);
  for (int i = 0; i < 50; ++i) order[size_t(i)] = i;
  groupPointsB(gs, order, same);
  int nonEmpty = 0;
  for (const auto &g : gs.groups) nonEmpty += !g.members.empty();
  EXPECT_EQ(nonEmpty, 1);
}

// Stored sides must agree with a recomputation from the vertices.
void CheckTriangles(const MatcherBContext &ctx) {
  const PointSetB &ps = *ctx.points;
  std::set<std::tuple<int, int, int>> seen;
  EXPECT_LE(ctx.triangles.size(), size_t(kMaxTriangles));
  for (const TriangleB &t : ctx.triangles) {
    EXPECT_TRUE(t.p1 != t.p2 && t.p2 != t.p3 && t.p1 != t.p3);
    EXPECT_TRUE(seen.insert({t.p1, t.p2, t.p3}).second);
    SideGeometryB g{};
    ASSERT_EQ(pairGeometryB(ps.points[t.p1], ps.points[t.p3], 14, g), 1);
    EXPECT_EQ(t.lenAC, StepOf(g.length));
    EXPECT_EQ(t.turnAC, StepOf(g.angleDiff));
    EXPECT_EQ(t.sideAC, g.angleToSide);
    ASSERT_EQ(pairGeometryB(ps.points[t.p3], ps.points[t.p2], 14, g), 1);
    EXPECT_EQ(t.lenCB, StepOf(g.length));
    EXPECT_EQ(t.sideCB, g.angleToSide);
    ASSERT_EQ(pairGeometryB(ps.points[t.p2], ps.points[t.p1], 2, g), 1);
    EXPECT_EQ(t.sideBA, g.angleToSide);
  }
}

TEST_F(MatcherBPrepare, TrianglesOfNearAndWideSets) {
  for (int n : {6, 7, 12, 17, 18, 30, 60, 100, 120}) {
    const PointSetB ps = ToPointSet(FingerSet(unsigned(n), n, 128, 180, 125, 5));
    MatcherBContext ctx;
    ASSERT_TRUE(createMatcherBContext(ctx, true));
    ctx.points = &ps;
    EXPECT_EQ(prepareMatcherBContext(ctx), 1) << n;
    EXPECT_GT(ctx.triangles.size(), 0u);
    CheckTriangles(ctx);
  }
}

TEST_F(MatcherBPrepare, WideTrianglesPutTheLongestSideFirst) {
  const PointSetB ps = ToPointSet(FingerSet(9, 40));
  MatcherBContext ctx;
  ASSERT_TRUE(createMatcherBContext(ctx, true));
  ctx.points = &ps;
  groupPointsB(ctx.groups, {}, ps);
  buildPairGridB(ps, ctx.grid, ctx.pairLists);
  ASSERT_EQ(buildTrianglesWide(ctx, true), 1);
  CheckTriangles(ctx);
  for (const TriangleB &t : ctx.triangles) {
    SideGeometryB a{}, b{}, c{};
    pairGeometryB(ps.points[t.p1], ps.points[t.p2], 8, a);
    pairGeometryB(ps.points[t.p2], ps.points[t.p3], 8, b);
    pairGeometryB(ps.points[t.p3], ps.points[t.p1], 8, c);
    const int f = StepOf(a.length), g = StepOf(b.length), h = StepOf(c.length);
    // A longest side above 16 steps ends up as p1-p3 (p2 and p3 swapped).
    EXPECT_TRUE((f >= g && f >= h && f <= 16) || (h >= f && h >= g && h > 16)) << f << " " << g << " " << h;
  }
}

TEST_F(MatcherBPrepare, SparseSetsBuildNoTriangles) {
  PointSetB ps;
  ps.count = 6;
  for (int i = 0; i < 6; ++i) ps.points[i] = {0, (i % 2) * 200, (i / 2) * 150};
  MatcherBContext ctx;
  ASSERT_TRUE(createMatcherBContext(ctx, true));
  ctx.points = &ps;
  EXPECT_EQ(prepareMatcherBContext(ctx), 0);
}

}  // namespace
