// Matcher B's alignment search: triangles of the first set looked up in the
// second set's pair grid, rotation votes, shift groups and their ranking,
// and single-triangle hypotheses when no group convinces.
#pragma once

#include <vector>

#include "matcher_b_records.h"

namespace fplib {

struct GroupRecordB {
  int score, triangle, candidate;
};

struct TranslationGroupB {
  int dx = 0, rotation = 0, dy = 0;
  int triangles = 0, minutiae = 0, strength = 0;
  std::vector<GroupRecordB> records;
};

struct RotationRowB {
  int rotation = 0, triangles = 0, candidates = 0;
  std::vector<TranslationGroupB> groups;  // at most 4, blanked ones included
};

struct RotationTableB {
  std::vector<RotationRowB> rows;  // at most 4
  int bestRow = -1, bestGroup = -1;
  int bestMean = 10000, bestSpread = 10000, bestRank = 0;
};

struct HypothesisB {
  AlignmentB align;
  int triangle = -1, candidate = -1, cost = 10000;
};

// Triangle candidates into first.triangles; 0 when there is nothing to match.
int matchTrianglesB(MatcherBSearch &s);
void findRotationPeaks(const MatcherBSearch &s, RotationTableB &table);
void groupTranslations(const MatcherBSearch &s, RotationTableB &table);
void rankGroups(MatcherBSearch &s, RotationTableB &table);
// Up to 8 alignments by rising cost; empty when there is no candidate.
std::vector<HypothesisB> selectHypotheses(MatcherBSearch &s);

// Centroid shift of a triangle onto its candidate under rotation r.
void TriangleShift(const MatcherBSearch &s, const TriangleB &t, const TriangleCandidate &c, int r, int &dx,
                   int &dy);

}  // namespace fplib
