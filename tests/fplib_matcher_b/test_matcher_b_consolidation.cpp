#include <gtest/gtest.h>

#include "match_tables.h"
#include "matcher_b_consolidation.h"
#include "matcher_b_search_state.h"
#include "matcher_b_test_sets.h"

using namespace fplib;
using namespace fplibtest;

namespace {

class MatcherBConsolidation : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(EnsureMatchTables()); }
};

void SetCandidates(PairCandidatesB &pc, std::initializer_list<std::pair<int, int>> secondAndSimilarity) {
  pc = PairCandidatesB();
  for (const auto &c : secondAndSimilarity) pc.list[pc.count++] = {c.first, c.second, 0, 0, 1};
}

TEST_F(MatcherBConsolidation, ChainScoreOfOneTwoAndThreeMembers) {
  const PointSetB a = ToPointSet(FingerSet(1, 10));
  SearchState t(a, a);
  auto &c = t.s.candidates;
  SetCandidates(c[0], {{4, 700}, {5, 900}});
  c[0].list[0].support = 300;  // 1000 against 900: the first wins
  int m1[1] = {0}, p1[1] = {-1};
  EXPECT_EQ(chainScore(t.s, m1, 1, p1, nullptr, true), 500);
  EXPECT_EQ(p1[0], 4);
  EXPECT_EQ(chainScore(t.s, m1, 1, p1, nullptr, false), 450);
  EXPECT_EQ(p1[0], 5);
  // Two members read a's support entries against b.
  SetCandidates(c[1], {{6, 800}, {7, 650}});
  c[0].supports[0] = {600, 1, 0};
  c[0].supports[1] = {500, 0, 1};
  c[0].supportCount = 2;
  int m2[2] = {0, 1}, p2[2] = {-1, -1};
  EXPECT_EQ(chainScore(t.s, m2, 2, p2, nullptr, false), (600 + 900 + 800) / 3);
  EXPECT_EQ(p2[0], 5);
  EXPECT_EQ(p2[1], 6);
  // A fixed partner keeps only the entries naming it.
  int fixedB[2] = {-1, 7};
  EXPECT_EQ(chainScore(t.s, m2, 2, fixedB, nullptr, true), (500 + 1000 + 650) / 5 + 100);
  EXPECT_EQ(fixedB[0], 4);
  int none[2] = {-1, 9};
  EXPECT_EQ(chainScore(t.s, m2, 2, none, nullptr, true), 0);
  EXPECT_EQ(none[0], -1);
  // Three members agreeing on the middle one's partner.
  SetCandidates(c[2], {{8, 750}});
  c[1].supports[0] = {400, 0, 0};
  c[1].supportCount = 1;
  int m3[3] = {0, 1, 2}, p3[3] = {-1, -1, -1};
  const int A = (600 + 900 + 800) / 5 + 100, B = (400 + 800 + 750) / 5 + 100;
  EXPECT_EQ(chainScore(t.s, m3, 3, p3, nullptr, true), (A + B) / 2 + 100);
  EXPECT_EQ(p3[0], 5);
  EXPECT_EQ(p3[1], 6);
  EXPECT_EQ(p3[2], 8);
  // Without an entry for (b, c) the chain scores nothing.
  c[1].supportCount = 0;
  EXPECT_EQ(chainScore(t.s, m3, 3, p3, nullptr, true), 0);
}

TEST_F(MatcherBConsolidation, StrongPairsOfASetWithItselfStay) {
  const PointSetB a = ToPointSet(FingerSet(2, 30));
  SearchState t(a, a);
  MatcherBResult result;
  for (int m = 0; m < a.count; ++m) {
    t.s.eval.chosen[m] = {m, 1000 - m, 0, 950, m % 2};  // half of them keep-flagged anchors
    result.first[m] = result.second[m] = m;
  }
  result.pairCount = a.count;
  result.score = 4000;
  ASSERT_EQ(consolidatePairs(t.s, result), 1);
  EXPECT_EQ(result.score, 4000);  // left as copied
  ASSERT_EQ(result.pairCount, a.count);
  for (int i = 0; i < result.pairCount; ++i) {
    EXPECT_EQ(result.first[i], i);
    EXPECT_EQ(result.second[i], i);
    EXPECT_EQ(result.firstPaired[i], 1);
  }
}

TEST_F(MatcherBConsolidation, PairsThatFitNoAlignmentAreDropped) {
  const PointSetB a = ToPointSet(FingerSet(3, 20));
  const PointSetB far = Transform(a, 0, -200, 0);  // nothing within reach
  SearchState t(a, far);
  MatcherBResult result;
  // Copied pairs whose mean alignment fits none of them.
  const int pairs[4][2] = {{0, 5}, {1, 9}, {2, 0}, {3, 14}};
  for (const auto &p : pairs) {
    t.s.eval.chosen[p[0]] = {p[1], 700, 0, 700, 0};
    result.first[result.pairCount] = p[0];
    result.second[result.pairCount++] = p[1];
  }
  ASSERT_EQ(consolidatePairs(t.s, result), 1);
  EXPECT_LT(result.pairCount, 3);
  MatcherBResult empty;
  EXPECT_EQ(consolidatePairs(t.s, empty), 0);
}

}  // namespace
