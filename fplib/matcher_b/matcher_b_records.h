// Matcher B's search state for one match: the two contexts, the per-minutia
// pair candidates, the cell index of the second set and the evaluation of
// the best pairing found so far.
#pragma once

#include <vector>

#include "matcher_b_context.h"
#include "matcher_b_grouping_scratch.h"
#include "matcher_b_hull.h"

namespace fplib {

struct AlignmentB {
  int rotation = 0, dx = 0, dy = 0;
};

struct CandidateB {
  int second = -1, similarity = 0, cost = 1000, support = 0, keep = 1;
};

struct SupportEntryB {
  int score, mine, theirs;  // candidate indices in this list and the other's
};

struct PairCandidatesB {
  CandidateB list[3];
  int count = 0;
  int chosen = -1;
  SupportEntryB supports[3] = {};
  int supportCount = 0;
  // Consolidation of the best pairing.
  int linkPartner = -1, linked = 0, fixed = 0;
  int assigned = -1, chainScore = 0, chainHead = -1;
};

struct EvaluationB {
  int valid = 0;
  AlignmentB align;
  int pairs = 0, inFirst = 0, inSecond = 0, similaritySum = 0, quality = 0;
  int first[kMaxPointsB] = {}, second[kMaxPointsB] = {};
};

struct ChosenPairB {
  int second = -1, similarity = 0, cost = 10000, support = 0, keep = 0;
};

struct EvaluationRecordB {
  int done = 0;
  EvaluationB best, current;
  int bestStrong = 0;  // best strong-pair count of the search
  ChosenPairB chosen[kMaxPointsB];
};

// Hulls of the two sets' own positions: the same for every alignment, so
// made once per match, and kept while the set stays the same.
struct SetHullsB {
  bool readyA = false, readyB = false;
  std::vector<HullPoint> points;
  HullScratchB a, b;  // hull empty when none forms
};

// Side directions (p2 -> p1, p3 -> p1, p3 -> p2) of one of the first set's
// triangles as the shift grouping reads them; the entry names the triangle's
// points, so that a changed triangle never reads another's.
struct TriangleSidesB {
  int p1 = -1, p2 = -1, p3 = -1;
  int a = 0, b = 0, c = 0;
  bool ok = false;
};

struct MatcherBSearch {
  MatcherBContext first, second;
  std::vector<PairCandidatesB> candidates;  // per first-set minutia
  std::vector<int> cellIndex;               // second-set minutia per 20-pixel cell, -1 empty
  // The cells of cellIndex last filled, so that the next build empties only those.
  int filledCells[kMaxPointsB] = {};
  int filledCount = 0;
  EvaluationRecordB eval;
  SetHullsB hulls;
  mutable GroupingScratchB grouping;  // scratch only: holds nothing between calls
  // Per triangle, worked out on first use and kept while the first set
  // stays the same.
  mutable std::vector<TriangleSidesB> triangleSides;
  // The first set the first context was last prepared for, and the result;
  // the second set the second context's grid was last built for.
  bool preparedValid = false;
  int preparedResult = 0;
  PointSetB preparedFirst;
  bool gridValid = false;
  PointSetB gridSecond;

  const PointSetB &A() const { return *first.points; }
  const PointSetB &B() const { return *second.points; }
};

void ResetPairCandidates(MatcherBSearch &s);

// Point m of the first set under an alignment: rotated, then shifted back.
inline void MapPoint(const PointB &p, const AlignmentB &al, int &x, int &y) {
  RotatePoint(p.x, p.y, al.rotation, x, y);
  x -= al.dx;
  y -= al.dy;
}

// Tolerances (x, y, angle) of first-set minutia m by its group's standing.
void pairTolerances(MatcherBSearch &s, int m, int &tx, int &ty, int &ta);

// Similarity (-1 or 0..1000) and cost of pairing first m with second t.
int pairSimilarity(MatcherBSearch &s, int m, int t, const AlignmentB &al, bool groupTolerances, int *cost);
// The same with m already mapped to (x, y) under the rotation.
int pairSimilarityAt(MatcherBSearch &s, int m, int t, int x, int y, int rotation, bool groupTolerances, int *cost);

}  // namespace fplib
