#include <gtest/gtest.h>

#include "matcher_b_pairing.h"
#include "matcher_b_search_state.h"
#include "matcher_b_test_sets.h"

using namespace fplib;
using namespace fplibtest;

namespace {

class MatcherBPairing : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(EnsureMatchTables()); }
};

int Claims(const PairCandidatesB &pc, int second) {
  for (int i = 0; i < pc.count; ++i)
    if (pc.list[i].second == second) return pc.list[i].similarity;
  return -1;
}

TEST_F(MatcherBPairing, NearbyCellsExactThenRingsInOrder) {
  const PointSetB first = Set({{0, 40, 40}});
  // Cells (3, 2), (1, 2) and (2, 3) around the empty cell (2, 2).
  SearchState t(first, Set({{0, 65, 45}, {0, 25, 45}, {0, 45, 65}, {0, 200, 300}}));
  buildSearchCellIndex(t.s);
  int f = -1, cls = -1;
  ASSERT_TRUE(findNearbyCell(t.s, 40, 40, f, cls));
  EXPECT_EQ(f, 0);
  EXPECT_EQ(cls, 1);
  t.b.points[0] = {0, 250, 10};
  buildSearchCellIndex(t.s);
  ASSERT_TRUE(findNearbyCell(t.s, 40, 40, f, cls));
  EXPECT_EQ(f, 1);  // (a - 1, b) comes before (a, b + 1)
  ASSERT_TRUE(findNearbyCell(t.s, 200, 300, f, cls));
  EXPECT_EQ(f, 3);
  EXPECT_EQ(cls, 0);
  EXPECT_FALSE(findNearbyCell(t.s, 120, 160, f, cls));  // four cells from everything
  EXPECT_FALSE(findNearbyCell(t.s, -500, 40, f, cls));
  // Negative positions never reach the index.
  t.b.points[2] = {0, -30, -5};
  buildSearchCellIndex(t.s);
  ASSERT_TRUE(findNearbyCell(t.s, 40, 40, f, cls));
  EXPECT_EQ(f, 1);
}

// The ring search over a plain 54 x 54 index, bounds tested at every probe.
bool ReferenceNearbyCell(const PointSetB &B, int x, int y, int &minutia, int &cls) {
  int index[54][54];
  for (auto &row : index)
    for (int &v : row) v = -1;
  for (int t = 0; t < B.count; ++t) {
    const PointB &p = B.points[t];
    if (p.x < 0 || p.y < 0 || p.x > 1079 || p.y / 20 > 53) continue;
    int &cell = index[p.x / 20][p.y / 20];
    if (cell >= 0) {
      const PointB &o = B.points[cell];
      const int mx = p.x / 20 * 20 + 10, my = p.y / 20 * 20 + 10;
      if (VectorLength(Abs(p.x - mx), Abs(p.y - my)) >= VectorLength(Abs(o.x - mx), Abs(o.y - my))) continue;
    }
    cell = t;
  }
  auto at = [&](int a, int b) { return a < 0 || b < 0 || a >= 50 || b >= 50 ? -1 : index[a][b]; };
  const int a = (x * 1638 + 16384) >> 15, b = (y * 1638 + 16384) >> 15;
  if (at(a, b) >= 0) {
    minutia = at(a, b);
    cls = 0;
    return true;
  }
  for (int i = 1; i <= 3; ++i)
    for (int n = i; n >= 0; --n) {
      const int m = i - n;
      const int probes[4][2] = {{a + n, b + m}, {a + n, b - m}, {a - n, b - m}, {a - n, b + m}};
      for (int k = 0; k < 4; ++k) {
        if ((k == 1 || k == 3) && n == i) continue;
        if (n == 0 && k >= 2) break;
        if (at(probes[k][0], probes[k][1]) >= 0) {
          minutia = at(probes[k][0], probes[k][1]);
          cls = 1;
          return true;
        }
      }
    }
  return false;
}

TEST_F(MatcherBPairing, NearbyCellsAgreeWithThePlainRingSearch) {
  // Sparse sets near every edge of the probed square, probes from well
  // outside it to well inside.
  uint32_t seed = 7;
  auto next = [&](int span) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 8) % uint32_t(span));
  };
  for (int trial = 0; trial < 40; ++trial) {
    PointSetB b;
    b.count = 6 + next(30);
    for (int i = 0; i < b.count; ++i) b.points[i] = {next(360), next(1200) - 60, next(1200) - 60};
    SearchState t(Set({{0, 40, 40}}), b);
    buildSearchCellIndex(t.s);
    for (int probe = 0; probe < 400; ++probe) {
      const int x = next(1300) - 150, y = next(1300) - 150;
      int f = -1, cls = -1, rf = -1, rcls = -1;
      const bool found = findNearbyCell(t.s, x, y, f, cls);
      ASSERT_EQ(found, ReferenceNearbyCell(t.b, x, y, rf, rcls)) << x << "," << y;
      if (!found) continue;
      ASSERT_EQ(f, rf) << x << "," << y;
      ASSERT_EQ(cls, rcls) << x << "," << y;
    }
  }
}

TEST_F(MatcherBPairing, CollectionLimits) {
  // f sits at the mapped position; its list's last entry (the far point) is
  // never examined, the others are.
  SearchState t(Set({{0, 100, 100}}), Set({{0, 100, 100},
                                           {0, 136, 100},     // 36 off in x
                                           {0, 130, 125},     // 30 + 25 > 50
                                           {0, 120, 110},     // kept
                                           {40, 105, 95},     // angle 40 off
                                           {0, 100, 222}}));  // row 24, last
  buildSearchCellIndex(t.s);
  ResetPairCandidates(t.s);
  collectPairCandidates(t.s, {0, 0, 0});
  const PairCandidatesB &pc = t.s.candidates[0];
  ASSERT_EQ(pc.count, 2);
  EXPECT_EQ(pc.list[0].second, 0);
  EXPECT_EQ(pc.list[0].cost, 0);
  EXPECT_EQ(pc.list[0].similarity, 1000);
  EXPECT_EQ(pc.list[1].second, 3);
  EXPECT_EQ(pc.list[1].cost, 30);
}

TEST_F(MatcherBPairing, ConflictingChoicesLoseTheWeakerPair) {
  SearchState t(Set({{0, 100, 100}, {0, 130, 100}, {0, 100, 160}}), Set({{0, 100, 100}, {0, 130, 100}, {0, 100, 160}}));
  auto &c = t.s.candidates;
  c[0].list[0] = {0, 900, 0, 100, 1};
  c[1].list[0] = {0, 700, 0, 100, 1};  // the same partner as 0, but 30 away
  c[2].list[0] = {2, 800, 0, 100, 1};
  for (int m = 0; m < 3; ++m) c[size_t(m)].count = 1, c[size_t(m)].chosen = 0;
  removeConflictingPairs(t.s, 0);
  EXPECT_EQ(c[0].count, 1);
  EXPECT_EQ(c[1].count, 0);
  EXPECT_EQ(c[1].chosen, -1);
  EXPECT_EQ(c[2].count, 1);
}

// m (index 0) and n (index 1) both claim s1 and s2.
void TwoClaims(SearchState &t, int m1, int m2, int n1, int n2) {
  auto &c = t.s.candidates;
  ResetPairCandidates(t.s);
  c[0].list[0] = {0, m1, 0, 0, 1};
  c[0].list[1] = {1, m2, 0, 0, 1};
  c[1].list[0] = {0, n1, 0, 0, 1};
  c[1].list[1] = {1, n2, 0, 0, 1};
  c[0].count = c[1].count = 2;
  c[0].chosen = c[1].chosen = 0;
}

TEST_F(MatcherBPairing, SharedClaimsFollowTheirRelation) {
  const PointSetB first = Set({{0, 100, 100}, {0, 130, 100}});
  // Agreeing relation: m keeps s1, n keeps s2.
  SearchState same(first, first);
  TwoClaims(same, 850, 900, 800, 850);
  resolveNeighbourConflicts(same.s, 0, {0, 0, 0});
  auto &c = same.s.candidates;
  EXPECT_EQ(c[0].count, 1);
  EXPECT_EQ(c[0].list[0].second, 0);
  EXPECT_EQ(c[1].count, 1);
  EXPECT_EQ(c[1].list[0].second, 1);
  // m's lost claim on s2 was strong and above n's: the kept claims lose
  // their keep flags.
  EXPECT_EQ(c[0].list[0].keep, 0);
  EXPECT_EQ(c[1].list[0].keep, 0);
  TwoClaims(same, 850, 800, 800, 850);
  resolveNeighbourConflicts(same.s, 0, {0, 0, 0});
  EXPECT_EQ(c[0].list[0].keep, 1);
  // Directions 90 degrees apart: the weaker claims compete; n's on s1 goes.
  SearchState turned(first, Set({{0, 100, 100}, {0, 100, 130}}));
  TwoClaims(turned, 700, 650, 640, 660);
  resolveNeighbourConflicts(turned.s, 0, {0, 0, 0});
  EXPECT_EQ(Claims(turned.s.candidates[1], 0), -1);
}

TEST_F(MatcherBPairing, EvaluationNeedsThreeStrongPairs) {
  const PointSetB a = ToPointSet(FingerSet(8, 90, 128, 180, 125, 4));
  SearchState t(a, a);
  auto strong = [&](int pairs) {
    ResetPairCandidates(t.s);
    for (int m = 0; m < pairs; ++m) {
      t.s.candidates[size_t(m)].list[0] = {m, 900, 0, 900, 1};
      t.s.candidates[size_t(m)].count = 1;
    }
  };
  strong(2);
  evaluatePairing(t.s, {0, 0, 0});
  EXPECT_EQ(t.s.eval.best.pairs, 0);
  EXPECT_EQ(t.s.eval.bestStrong, 2);
  strong(a.count);
  evaluatePairing(t.s, {0, 0, 0});
  EXPECT_EQ(t.s.eval.best.pairs, a.count);
  EXPECT_EQ(t.s.eval.best.quality, 5000);
  EXPECT_EQ(t.s.eval.chosen[5].second, 5);
  // Far fewer strong pairs than the best so far: no change at all.
  strong(10);
  evaluatePairing(t.s, {0, 0, 0});
  EXPECT_EQ(t.s.eval.best.pairs, a.count);
}

}  // namespace
