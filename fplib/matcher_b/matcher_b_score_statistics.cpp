#include <algorithm>

#include "match_tables.h"
#include "matcher_b_score.h"

namespace fplib {

void MatcherBResult::clear() {
  pairCount = score = 0;
  for (int i = 0; i < kMaxPointsB; ++i) {
    first[i] = second[i] = -1;
    firstPaired[i] = secondPaired[i] = 0;
  }
}

void copyBestEvaluation(MatcherBResult &result, const EvaluationRecordB &ev) {
  result.clear();
  const EvaluationB &best = ev.best;
  if (best.pairs <= 0) return;
  result.pairCount = best.pairs;
  result.score = best.quality;
  for (int i = 0; i < best.pairs; ++i) {
    result.first[i] = best.first[i];
    result.second[i] = best.second[i];
    result.firstPaired[best.first[i]] = 1;
    result.secondPaired[best.second[i]] = 1;
  }
}

int estimateFinalAlignment(const PointSetB &first, const PointSetB &second, const MatcherBResult &result,
                           AlignmentB &al) {
  const int n = result.pairCount;
  if (n <= 0) return 0;
  long r = 0, sx = 0, sy = 0;
  for (int i = 0; i < n; ++i) r += Wrap180(first.points[result.first[i]].angle - second.points[result.second[i]].angle);
  al.rotation = int(r / n);
  for (int i = 0; i < n; ++i) {
    const PointB &p = first.points[result.first[i]], &q = second.points[result.second[i]];
    int x, y;
    RotatePoint(p.x, p.y, al.rotation, x, y);
    sx += x - q.x;
    sy += y - q.y;
  }
  al.dx = int(sx / n);
  al.dy = int(sy / n);
  return 1;
}

void buildScoreStatistics(const MatcherBContext &first, const MatcherBResult &result, const PointSetB &second,
                          ScoreStatisticsB &st, const AlignmentB &al) {
  const PointSetB &A = *first.points;
  int partner[kMaxPointsB];
  std::fill_n(partner, A.count, -1);
  for (int i = 0; i < result.pairCount; ++i) partner[result.first[i]] = result.second[i];
  for (int i = 0; i < result.pairCount; ++i) {
    const PointB &p = A.points[result.first[i]], &q = second.points[result.second[i]];
    ++st.pairs;
    int x, y;
    MapPoint(p, al, x, y);
    const int ex = Abs(x - q.x), ey = Abs(y - q.y);
    st.pos += ex > 179 || ey > 179 ? 59 : std::min(VectorLength(ex, ey), 59);
    const int ea = FoldAny(p.angle - q.angle - al.rotation);
    st.ang += ea < 50 ? ea : 0;
  }
  struct Around {
    int dirFirst, dirSecond, sumDist;
  };
  // A point's list holds at most kPairListSlots references.
  Around around[kPairListSlots];
  for (int i = 0; i < A.count; ++i) {
    const int j = partner[i];
    if (j < 0) continue;
    size_t count = 0;
    for (const PairRefB &ref : first.pairLists[size_t(i)]) {
      const int k = ref.from;
      const int pk = partner[k];
      if (pk < 0) continue;
      SideGeometryB g1{}, g2{};
      // Undefined relations carry no data.
      if (!pairGeometryB(A.points[k], A.points[i], kGeoDirection | kGeoLength, g1) ||
          !pairGeometryB(second.points[pk], second.points[j], kGeoDirection | kGeoLength, g2))
        continue;
      if (count < size_t(kPairListSlots)) around[count++] = {g1.direction, g2.direction, g1.length + g2.length};
      if (i >= k) continue;
      const int d1 = g1.length, d2 = g2.length, b = std::min(d1, d2) / 5;
      if (b > 59) continue;
      ++st.nd;
      const int dl = Abs(d1 - d2);
      st.len += dl < 60 ? dl : 0;
      const int e = FoldAny(g1.direction - g2.direction - al.rotation);
      st.turn += e < 50 && ref.row > 5 ? e : 0;
    }
    if (count < 2) continue;
    // By falling direction, ties in list order: an insertion sort, stable
    // without a buffer on the heap.
    for (size_t m = 1; m < count; ++m) {
      const Around v = around[m];
      size_t at = m;
      for (; at > 0 && v.dirFirst > around[at - 1].dirFirst; --at) around[at] = around[at - 1];
      around[at] = v;
    }
    for (size_t m = 0; m < count; ++m) {
      const Around &a = around[m], &o = around[m + 1 < count ? m + 1 : 0];
      const int W = std::min(a.sumDist / 10, o.sumDist / 10);
      if (W > 59) continue;
      ++st.nb;
      int P = Mod360(a.dirFirst - o.dirFirst), Q = Mod360(a.dirSecond - o.dirSecond);
      if (P <= 180) P += 360;
      if (Q <= 180) Q += 360;
      const int dpq = Abs(P - Q);
      st.nbang += dpq < 50 ? dpq : 0;
    }
  }
}

}  // namespace fplib
