// Matcher B's result and its score in thousandths: residual and neighbour
// statistics of the pairing, the overlap of the two sets' hulls, and the
// fixed-point blend of both.
#pragma once

#include "matcher_b_records.h"

namespace fplib {

struct MatcherBResult {
  int pairCount = 0;
  int score = 0;  // thousandths, 0..1000
  int first[kMaxPointsB], second[kMaxPointsB];
  int firstPaired[kMaxPointsB], secondPaired[kMaxPointsB];
  MatcherBResult();
};

struct ScoreStatisticsB {
  int pairs = 0;
  int pos[60] = {}, ang[50] = {}, nd[60] = {}, nb[60] = {};
  int len[60][60] = {}, turn[60][50] = {}, nbang[60][50] = {};
};

void copyBestEvaluation(MatcherBResult &result, const EvaluationRecordB &ev);
// 0 when the result has no pair.
int estimateFinalAlignment(const PointSetB &first, const PointSetB &second, const MatcherBResult &result,
                           AlignmentB &al);
void buildScoreStatistics(const MatcherBContext &first, const MatcherBResult &result, const PointSetB &second,
                          ScoreStatisticsB &st, const AlignmentB &al);
void computeFinalScore(const ScoreStatisticsB &st, const PointSetB &first, const PointSetB &second,
                       MatcherBResult &result, const AlignmentB &al);

// Paired minutiae's hull coverage of one side; -1 when the hull fails.
int countInsideOwnHull(const PointSetB &set, const MatcherBResult &result, bool secondSide);
// Overlap of both sets under the alignment, 14 fraction bits.
int overlapRatio(const PointSetB &first, const MatcherBResult &result, const PointSetB &second,
                 const AlignmentB &al);

}  // namespace fplib
