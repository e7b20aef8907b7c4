// The equal error rate that the accuracy tests bound.
#include <gtest/gtest.h>

#include "accuracy_support.h"

namespace {

using accuracy::EqualErrorRate;
using accuracy::PairScores;

TEST(EqualErrorRate, CrossingOfFalseRejectsAndFalseAccepts) {
  // Separable at any threshold in (0.4, 0.6].
  EXPECT_EQ(EqualErrorRate(PairScores{{0.6f, 0.9f, 1.0f}, {0.0f, 0.1f, 0.4f}}), 0.0);
  // A genuine pair at 0.3 among impostors at 0.1..0.4: at 0.4 one of four
  // genuine pairs is lost and one of four impostors is accepted.
  EXPECT_DOUBLE_EQ(EqualErrorRate(PairScores{{0.3f, 0.8f, 0.9f, 1.0f}, {0.1f, 0.2f, 0.25f, 0.4f}}), 0.25);
  // No threshold balances them: at 0.2 none of 2 genuine pairs is lost and 1
  // of 4 impostors accepted, at 0.5 one is lost and 1 of 4 accepted; the
  // first has the lower sum.
  EXPECT_DOUBLE_EQ(EqualErrorRate(PairScores{{0.2f, 0.9f}, {0.0f, 0.0f, 0.1f, 0.5f}}), 0.125);
  // All scores equal: nothing tells the sets apart.
  EXPECT_DOUBLE_EQ(EqualErrorRate(PairScores{{0.5f, 0.5f}, {0.5f, 0.5f}}), 0.5);
  EXPECT_EQ(EqualErrorRate(PairScores{{}, {0.5f}}), 1.0);
}

TEST(ScoreAllPairs, EachUnorderedPairOnceSplitByFinger) {
  int calls = 0;
  const PairScores s = accuracy::ScoreAllPairs(accuracy::kPrints, [&](int a, int b) {
    ++calls;
    EXPECT_LT(a, b);
    return float(a / accuracy::kImpressions == b / accuracy::kImpressions);
  });
  EXPECT_EQ(calls, 80 * 79 / 2);
  EXPECT_EQ(s.genuine.size(), 280u);
  EXPECT_EQ(s.impostor.size(), 2880u);
  for (float g : s.genuine) EXPECT_EQ(g, 1.0f);
  for (float i : s.impostor) EXPECT_EQ(i, 0.0f);
}

}  // namespace
