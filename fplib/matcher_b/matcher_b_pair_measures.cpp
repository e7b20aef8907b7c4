#include <algorithm>

#include "match_tables.h"
#include "matcher_b_records.h"

namespace fplib {

void ResetPairCandidates(MatcherBSearch &s) {
  // Only the first set's minutiae are ever written; the rest stay as the
  // match started them.
  const size_t n = s.first.points ? std::min(size_t(s.A().count), s.candidates.size()) : s.candidates.size();
  std::fill_n(s.candidates.begin(), n, PairCandidatesB());
}

namespace {

int ToleranceCategory(MatcherBSearch &s, int m) {
  GroupSetB &gs = s.first.groups;
  const int g = gs.pointToGroup[size_t(m)];
  if (g < 0) return 0;
  if (gs.groupMark[size_t(m)] >= 0) return gs.groupMark[size_t(m)];
  int cat;
  if (gs.current < 0 || g == gs.current) {
    cat = 1;
  } else if (!gs.groups[size_t(g)].valid) {
    cat = 4;
  } else {
    const PointB &p = s.A().points[m];
    const PointGroupB &anchor = gs.groups[size_t(gs.current)];
    const int dx = Abs(anchor.x - p.x), dy = Abs(anchor.y - p.y);
    const bool far = dx > 179 || dy > 179 || ((dx > 100 || dy > 100) && VectorLength(dx, dy) > 140);
    cat = far ? 3 : 2;
  }
  gs.groupMark[size_t(m)] = cat;
  return cat;
}

}  // namespace

void pairTolerances(MatcherBSearch &s, int m, int &tx, int &ty, int &ta) {
  static const int kTable[5][3] = {{0, 0, 0}, {26, 26, 33}, {30, 30, 30}, {35, 35, 30}, {35, 35, 35}};
  const int cat = ToleranceCategory(s, m);
  tx = kTable[cat][0];
  ty = kTable[cat][1];
  ta = kTable[cat][2];
}

int pairSimilarity(MatcherBSearch &s, int m, int t, const AlignmentB &al, bool groupTolerances, int *cost) {
  int x, y;
  MapPoint(s.A().points[m], al, x, y);
  return pairSimilarityAt(s, m, t, x, y, al.rotation, groupTolerances, cost);
}

int pairSimilarityAt(MatcherBSearch &s, int m, int t, int x, int y, int rotation, bool groupTolerances, int *cost) {
  int tx = 55, ty = 55, ta = 0;
  if (groupTolerances) pairTolerances(s, m, tx, ty, ta);
  tx += 15;
  ty += 15;
  const PointB &p = s.A().points[m], &q = s.B().points[t];
  const int ex = Abs(x - q.x), ey = Abs(y - q.y), ea = Fold(p.angle - rotation - q.angle);
  if (cost) *cost = ex + ey + ea;
  if (ex > tx) return -1;
  // A residual beyond its limit drops its term, as the matcher always did.
  // With ex <= tx <= 70 and ty <= 70 the numerator stays below 2^31: an
  // unsigned 32-bit division, much cheaper than a 64-bit one.
  const uint32_t yTerm = ey <= ty ? uint32_t(ey) : 0, aTerm = ea <= 50 ? uint32_t(ty * ea) : 0;
  const uint32_t num = (uint32_t(tx) * (50 * yTerm + aTerm) + 50 * uint32_t(ex) * uint32_t(ty)) * 1000;
  const int sim = 1000 - int(num / (150 * uint32_t(tx) * uint32_t(ty)));
  return sim < 0 ? -1 : sim;
}

}  // namespace fplib
