// Matcher B's result and its score in thousandths: residual and neighbour
// statistics of the pairing, the overlap of the two sets' hulls, and the
// fixed-point blend of both.
#pragma once

#include <cstdint>

#include <vector>

#include "matcher_b_hull.h"
#include "matcher_b_records.h"

namespace fplib {

struct MatcherBResult {
  int pairCount = 0;
  int score = 0;  // thousandths, 0..1000
  int first[kMaxPointsB], second[kMaxPointsB];
  int firstPaired[kMaxPointsB], secondPaired[kMaxPointsB];
  MatcherBResult() { clear(); }
  // As new, in place (a cleared copy would sit on the caller's stack).
  void clear();
};

// The residual statistics enter the score only through their sums (a
// histogram's moment is the sum of the values counted), so running sums
// stand in for the histograms.
struct ScoreStatisticsB {
  int pairs = 0;
  int64_t pos = 0, ang = 0;      // summed position and angle residuals of the pairs
  int64_t nd = 0, nb = 0;        // neighbour pairs, neighbour angle pairs counted
  int64_t len = 0, turn = 0;     // summed length and direction residuals of neighbour pairs
  int64_t nbang = 0;             // summed angle-between-neighbours residuals
};

void copyBestEvaluation(MatcherBResult &result, const EvaluationRecordB &ev);
// 0 when the result has no pair.
int estimateFinalAlignment(const PointSetB &first, const PointSetB &second, const MatcherBResult &result,
                           AlignmentB &al);
void buildScoreStatistics(const MatcherBContext &first, const MatcherBResult &result, const PointSetB &second,
                          ScoreStatisticsB &st, const AlignmentB &al);
// Lists and hull of the final score, kept with the search state so that
// they stop allocating once grown.
struct FinalScoreScratchB {
  std::vector<HullPoint> paired, kept, keptPaired, secondAll, secondPaired, source;
  HullScratchB hull;
};

void computeFinalScore(const ScoreStatisticsB &st, const PointSetB &first, const PointSetB &second,
                       MatcherBResult &result, const AlignmentB &al, FinalScoreScratchB &scratch);

// Paired minutiae's hull coverage of one side; -1 when the hull fails.
int countInsideOwnHull(const PointSetB &set, const MatcherBResult &result, bool secondSide,
                       FinalScoreScratchB &scratch);
// Overlap of both sets under the alignment, 14 fraction bits.
int overlapRatio(const PointSetB &first, const MatcherBResult &result, const PointSetB &second,
                 const AlignmentB &al, FinalScoreScratchB &scratch);

}  // namespace fplib
