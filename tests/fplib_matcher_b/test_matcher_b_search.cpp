#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "match_tables.h"
#include "matcher_b.h"
#include "matcher_b_alignment.h"
#include "matcher_b_search_state.h"
#include "matcher_b_test_sets.h"

using namespace fplib;
using namespace fplibtest;

namespace {

class MatcherB : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(EnsureMatchTables()); }
};

MatcherBResult Match(const PointSetB &a, const PointSetB &b) {
  MatcherBResult r;
  EXPECT_EQ(matchMinutiaeB(&a, &b, &r), 0);
  EXPECT_GE(r.score, 0);
  EXPECT_LE(r.score, 1000);
  return r;
}

// The second set an alignment of r degrees about the print's middle makes.
PointSetB Turned(const PointSetB &a, int r, int extraX = 0, int extraY = 0) {
  int cx, cy;
  RotatePoint(128, 180, r, cx, cy);
  return Transform(a, r, cx - 128 - extraX, cy - 180 - extraY);
}

std::vector<CMinutia> Jittered(const std::vector<CMinutia> &ms, unsigned seed, int pos, int deg) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> p(-pos, pos), d(-deg, deg);
  std::vector<CMinutia> out = ms;
  for (auto &m : out) {
    m.x = std::clamp(m.x + p(rng), 0, 255);
    m.y = std::clamp(m.y + p(rng), 0, 359);
    m.degrees = Mod360(m.degrees + d(rng));
  }
  return out;
}

// A match whose first (second) set is the previous one's reuses the prepared
// first context (the second set's grid); every result must be the one fresh
// ones give. The second sets share their count and differ in content.
TEST_F(MatcherB, ReusedSetsGiveTheResultsOfFreshOnes) {
  const PointSetB other = ToPointSet(FingerSet(9, 25));
  auto same = [](const MatcherBResult &x, const MatcherBResult &y) {
    return x.score == y.score && x.pairCount == y.pairCount &&
           std::equal(x.first, x.first + x.pairCount, y.first) && std::equal(x.second, x.second + x.pairCount, y.second);
  };
  for (unsigned seed : {2u, 3u, 4u}) {
    const PointSetB a = ToPointSet(FingerSet(seed, 30));
    const std::vector<PointSetB> seconds = {ToPointSet(Jittered(FingerSet(seed, 30), seed + 1, 4, 5)),
                                            ToPointSet(Jittered(FingerSet(seed, 30), seed + 2, 6, 8)),
                                            Turned(a, 12, 5, -7), ToPointSet(FingerSet(seed + 10, 30)),
                                            ToPointSet(Jittered(FingerSet(seed, 30), seed + 3, 3, 12)),
                                            Turned(a, -20), ToPointSet(FingerSet(seed + 10, 28))};
    std::vector<MatcherBResult> fresh;
    for (const PointSetB &b : seconds) {
      Match(other, ToPointSet(FingerSet(11, 26)));  // other sets on both sides
      fresh.push_back(Match(a, b));
    }
    // The same first set throughout, after each search in both orders.
    for (size_t k = 0; k < seconds.size(); ++k) EXPECT_TRUE(same(Match(a, seconds[k]), fresh[k])) << seed << " " << k;
    for (size_t k = seconds.size(); k-- > 0;) EXPECT_TRUE(same(Match(a, seconds[k]), fresh[k])) << seed << " " << k;
    for (size_t k = 0; k < seconds.size(); ++k) {
      for (const PointSetB &between : seconds) Match(a, between);
      EXPECT_TRUE(same(Match(a, seconds[k]), fresh[k])) << seed << " " << k;
    }
    // The same second set after another first set.
    for (size_t k = 0; k < seconds.size(); ++k) {
      Match(other, seconds[k]);
      EXPECT_TRUE(same(Match(a, seconds[k]), fresh[k])) << seed << " " << k;
    }
  }
}

TEST_F(MatcherB, ASetMatchedWithItselfPairsEveryMinutia) {
  // Below 8 pairs the score comes from the blend, not the residuals alone.
  EXPECT_EQ(Match(ToPointSet(FingerSet(1, 6)), ToPointSet(FingerSet(1, 6))).score, 714);
  EXPECT_EQ(Match(ToPointSet(FingerSet(1, 7)), ToPointSet(FingerSet(1, 7))).score, 769);
  for (int n : {8, 17, 18, 40, 100, 120}) {
    const PointSetB a = ToPointSet(FingerSet(unsigned(n), n, 128, 180, 125, 5));
    const MatcherBResult r = Match(a, a);
    EXPECT_EQ(r.score, 1000) << n;
    ASSERT_EQ(r.pairCount, a.count) << n;
    for (int i = 0; i < r.pairCount; ++i) EXPECT_EQ(r.first[i], r.second[i]);
  }
}

TEST_F(MatcherB, RotatedAndShiftedCopiesScoreHighInBothOrders) {
  const PointSetB a = ToPointSet(FingerSet(2, 30));
  for (int r : {-85, -60, -30, -7, -1, 1, 7, 30, 60, 85}) {
    const PointSetB b = Turned(a, r, 15, -20);
    const MatcherBResult ab = Match(a, b), ba = Match(b, a);
    EXPECT_GE(ab.score, 900) << r;
    EXPECT_GE(ba.score, 900) << r;
    int right = 0;
    for (int i = 0; i < ab.pairCount; ++i) right += ab.first[i] == ab.second[i];
    EXPECT_GE(right, 27) << r;
  }
}

TEST_F(MatcherB, ATurnFarBeyondAQuarterFindsNothing) {
  const PointSetB a = ToPointSet(FingerSet(2, 30));
  for (int r : {150, -150, 180}) EXPECT_LT(Match(a, Turned(a, r)).score, 400) << r;
}

TEST_F(MatcherB, CountsOutsideTheRangeAreRefusedUntouched) {
  const PointSetB a = ToPointSet(FingerSet(4, 30));
  PointSetB small = a, large = a;
  small.count = 5;
  large.count = 121;
  MatcherBResult r;
  r.score = 77;
  EXPECT_EQ(matchMinutiaeB(&small, &a, &r), 2);
  EXPECT_EQ(matchMinutiaeB(&a, &large, &r), 2);
  EXPECT_EQ(matchMinutiaeB(nullptr, &a, &r), 2);
  EXPECT_EQ(matchMinutiaeB(&a, &a, nullptr), 2);
  EXPECT_EQ(r.score, 77);
  PointSetB six = a;
  six.count = 6;
  EXPECT_NE(matchMinutiaeB(&six, &a, &r), 2);
}

TEST_F(MatcherB, GenuineAndImpostorScoresSeparate) {
  int genuineHigh = 0, impostorHigh = 0;
  const int kTrials = 40;
  std::vector<int> genuine, impostor;
  for (int t = 0; t < kTrials; ++t) {
    const auto ms = FingerSet(300u + unsigned(t), 35);
    const PointSetB a = ToPointSet(ms);
    const PointSetB b = Turned(ToPointSet(Jittered(ms, 900u + unsigned(t), 2, 5)), (t % 21) - 10);
    genuine.push_back(Match(a, b).score);
    impostor.push_back(Match(a, ToPointSet(FingerSet(700u + unsigned(t), 35))).score);
    genuineHigh += genuine.back() >= 650;
    impostorHigh += impostor.back() >= 650;
  }
  EXPECT_GE(genuineHigh, kTrials * 9 / 10);
  EXPECT_EQ(impostorHigh, 0);
  std::sort(genuine.begin(), genuine.end());
  std::sort(impostor.begin(), impostor.end());
  EXPECT_LT(impostor.back(), genuine[size_t(kTrials / 20)]);
}

TEST_F(MatcherB, RepeatedMatchesGiveTheSameResult) {
  const PointSetB a = ToPointSet(FingerSet(5, 40)), b = Turned(a, 12, 4, 4);
  const MatcherBResult first = Match(a, b);
  for (unsigned s = 0; s < 10; ++s) Match(ToPointSet(FingerSet(s, 20 + int(s))), ToPointSet(FingerSet(s + 50, 30)));
  const MatcherBResult again = Match(a, b);
  EXPECT_EQ(first.score, again.score);
  ASSERT_EQ(first.pairCount, again.pairCount);
  for (int i = 0; i < first.pairCount; ++i) EXPECT_EQ(first.second[i], again.second[i]);
}

TEST_F(MatcherB, DegenerateSetsEndWithinRange) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> deg(0, 359);
  std::vector<PointSetB> sets;
  PointSetB line, same, grid, corner;
  line.count = 40;
  same.count = 30;
  grid.count = 120;
  corner.count = 8;
  for (int i = 0; i < 40; ++i) line.points[i] = {deg(rng), 5 + i * 6, 100};
  for (int i = 0; i < 30; ++i) same.points[i] = {deg(rng), 255, 359};
  for (int i = 0; i < 120; ++i) grid.points[i] = {(i * 37) % 360, (i % 10) * 25, (i / 10) * 30};
  for (int i = 0; i < 8; ++i) corner.points[i] = {deg(rng), 255 - (i % 2), 359 - i / 2};
  sets = {line, same, grid, corner, ToPointSet(FingerSet(3, 6)), ToPointSet(FingerSet(3, 120, 128, 180, 140, 3))};
  for (const PointSetB &a : sets)
    for (const PointSetB &b : sets) {
      // A set without triangles is refused with -1 and a cleared result.
      MatcherBResult r;
      const int rc = matchMinutiaeB(&a, &b, &r);
      EXPECT_TRUE(rc == 0 || rc == -1);
      EXPECT_GE(r.score, 0);
      EXPECT_LE(r.score, 1000);
      if (rc == -1) {
        EXPECT_EQ(r.pairCount, 0);
      }
    }
  const MatcherBResult r = Match(grid, grid);
  EXPECT_GE(r.score, 900);
}

TEST_F(MatcherB, RandomRecordsStayInRange) {
  std::mt19937 rng(23);
  std::uniform_int_distribution<int> byte(0, 255), count(0, 100);
  for (int trial = 0; trial < 150; ++trial) {
    Record r1{}, r2{};
    for (auto *r : {&r1, &r2}) {
      for (auto &b : *r) b = uint8_t(byte(rng));
      (*r)[0] = kRecordType;
      (*r)[kRecordCount] = uint8_t(count(rng));
      // Keep y and the angle below 360 so that most records load.
      for (int i = 0; i < 100; ++i) {
        uint8_t *slot = r->data() + kRecordSlots + 4 * i;
        if (slot[3] & 1) slot[1] %= 104;
        if (slot[3] & 2) slot[2] %= 104;
      }
    }
    const float s = ScoreMatcherB(r1.data(), r2.data());
    ASSERT_GE(s, 0.0f);
    ASSERT_LE(s, 1.0f);
    if (r1[kRecordCount] >= 20) {  // sparser sets may hold no triangle
      ASSERT_GE(ScoreMatcherB(r1.data(), r1.data()), 0.6f) << trial;
    }
  }
}

TEST_F(MatcherB, ScoreOfRecords) {
  const auto ms = FingerSet(21, 30);
  const Record rec = MakeRecord(ms);
  EXPECT_FLOAT_EQ(ScoreMatcherB(rec.data(), rec.data()), 1.0f);
  // A shift along y disappears with the row flip; one along x is an alignment.
  std::vector<CMinutia> shifted = ms;
  for (auto &m : shifted) {
    m.x += 40;
    m.y += 50;
  }
  const Record moved = MakeRecord(shifted);
  EXPECT_FLOAT_EQ(ScoreMatcherB(rec.data(), moved.data()), 1.0f);
  EXPECT_FLOAT_EQ(ScoreMatcherB(moved.data(), rec.data()), 1.0f);
  // Refused records and too few minutiae score 0.
  EXPECT_EQ(ScoreMatcherB(MakeRecord(ms, 2).data(), rec.data()), 0.0f);
  EXPECT_EQ(ScoreMatcherB(rec.data(), MakeRecord({{1, 360, 0}}).data()), 0.0f);
  EXPECT_EQ(ScoreMatcherB(rec.data(), nullptr), 0.0f);
  for (int n : {0, 1, 5})
    EXPECT_EQ(ScoreMatcherB(rec.data(), MakeRecord(std::vector<CMinutia>(ms.begin(), ms.begin() + n)).data()), 0.0f);
  for (int n : {7, 100}) {
    const Record r = MakeRecord(FingerSet(unsigned(n), n, 128, 180, 127, 4));
    EXPECT_GT(ScoreMatcherB(r.data(), r.data()), 0.7f) << n;
    const float s = ScoreMatcherB(r.data(), rec.data());
    EXPECT_GE(s, 0.0f);
    EXPECT_LE(s, 1.0f);
  }
  std::vector<CMinutia> extreme;
  for (int i = 0; i < 20; ++i) extreme.push_back({i % 2 ? 255 : 0, i % 3 ? 359 : 0, i % 2 ? 359 : 0});
  const Record ex = MakeRecord(extreme);
  const float s = ScoreMatcherB(ex.data(), rec.data());
  EXPECT_GE(s, 0.0f);
  EXPECT_LE(ScoreMatcherB(ex.data(), ex.data()), 1.0f);
}

}  // namespace

namespace {

using fplibtest::SearchState;

// Triangle votes and shift groups of a second set turned by r from the first.
RotationTableB Votes(const PointSetB &a, int r) {
  int cx, cy;
  RotatePoint(128, 180, r, cx, cy);
  SearchState t(a, Transform(a, r, cx - 128, cy - 180));
  EXPECT_EQ(matchTrianglesB(t.s), 1);
  RotationTableB table;
  findRotationPeaks(t.s, table);
  groupTranslations(t.s, table);
  rankGroups(t.s, table);
  return table;
}

TEST_F(MatcherB, VotesPeakAtTheTurnBetweenTheSets) {
  const PointSetB a = ToPointSet(FingerSet(12, 40));
  {
    SearchState t(a, a);
    ASSERT_EQ(matchTrianglesB(t.s), 1);
    // Every triangle finds itself at no cost and no turn.
    for (const TriangleB &tri : t.s.first.triangles) {
      bool self = false;
      for (const TriangleCandidate &c : tri.candidates)
        self = self || (c.c0 == tri.p1 && c.c1 == tri.p2 && c.c2 == tri.p3 && c.rotation == 0 && c.cost == 0);
      EXPECT_TRUE(self);
    }
  }
  for (int r : {0, 30, -30}) {
    const RotationTableB table = Votes(a, r);
    ASSERT_GE(table.bestRow, 0) << r;
    const TranslationGroupB &g = table.rows[size_t(table.bestRow)].groups[size_t(table.bestGroup)];
    // The row settles on the 11-degree window holding the most candidates,
    // up to 4 degrees off the peak; the refinement of the pairing corrects it.
    EXPECT_NEAR(g.rotation, r, 4) << r;
    int cx, cy;
    RotatePoint(128, 180, r, cx, cy);
    EXPECT_NEAR(g.dx, cx - 128, 15) << r;
    EXPECT_NEAR(g.dy, cy - 180, 15) << r;
    EXPECT_GE(table.bestRank, 1);
  }
  // Beyond a quarter turn no triangle finds its own counterpart.
  int cx, cy;
  RotatePoint(128, 180, 120, cx, cy);
  SearchState t(a, Transform(a, 120, cx - 128, cy - 180));
  ASSERT_EQ(matchTrianglesB(t.s), 1);
  for (const TriangleB &tri : t.s.first.triangles)
    for (const TriangleCandidate &c : tri.candidates) EXPECT_FALSE(c.c0 == tri.p1 && c.c1 == tri.p2);
}

}  // namespace

// Rotation rows go in by rank into fixed slots: an insert shifts the later
// ones down, drops the last when all are in use, and the entry it hands out
// is reset, whatever the slot held before.
TEST(MatcherBSlots, InsertKeepsRankAndResetsTheEntry) {
  SlotListB<RotationRowB, 4> rows;
  for (int r : {10, 20, 30}) rows.add().rotation = r;
  rows[2].groups.add().records.push_back({1, 2, 3});
  rows.clear();
  for (int r : {10, 20, 30}) rows.add().rotation = r;
  EXPECT_TRUE(rows[2].groups.empty());
  rows.insert(1).rotation = 15;
  rows.insert(0).rotation = 5;
  ASSERT_EQ(rows.size(), 4u);
  const int expected[] = {5, 10, 15, 20};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(rows[i].rotation, expected[i]);
  rows.insert(3).rotation = 17;
  EXPECT_EQ(rows[3].rotation, 17);
  EXPECT_EQ(rows.back().rotation, 17);
}
