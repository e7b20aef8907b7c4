#include <algorithm>

#include "match_tables.h"
#include "matcher_b_score.h"

namespace fplib {

MatcherBResult::MatcherBResult() {
  for (int i = 0; i < kMaxPointsB; ++i) {
    first[i] = second[i] = -1;
    firstPaired[i] = secondPaired[i] = 0;
  }
}

void copyBestEvaluation(MatcherBResult &result, const EvaluationRecordB &ev) {
  result = MatcherBResult();
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
  std::vector<int> partner(size_t(A.count), -1);
  for (int i = 0; i < result.pairCount; ++i) partner[size_t(result.first[i])] = result.second[i];
  for (int i = 0; i < result.pairCount; ++i) {
    const PointB &p = A.points[result.first[i]], &q = second.points[result.second[i]];
    ++st.pairs;
    int x, y;
    MapPoint(p, al, x, y);
    const int ex = Abs(x - q.x), ey = Abs(y - q.y);
    const int d = ex > 179 || ey > 179 ? 59 : std::min(VectorLength(ex, ey), 59);
    ++st.pos[d];
    const int ea = Fold(p.angle - q.angle - al.rotation);
    if (ea < 50) ++st.ang[ea];
  }
  struct Around {
    int dirFirst, dirSecond, sumDist;
  };
  std::vector<Around> around;
  for (int i = 0; i < A.count; ++i) {
    const int j = partner[size_t(i)];
    if (j < 0) continue;
    around.clear();
    for (const PairRefB &ref : first.pairLists[size_t(i)]) {
      const int k = ref.from;
      const int pk = partner[size_t(k)];
      if (pk < 0) continue;
      SideGeometryB g1{}, g2{};
      // Undefined relations carry no data.
      if (!pairGeometryB(A.points[k], A.points[i], kGeoDirection | kGeoLength, g1) ||
          !pairGeometryB(second.points[pk], second.points[j], kGeoDirection | kGeoLength, g2))
        continue;
      around.push_back({g1.direction, g2.direction, g1.length + g2.length});
      if (i >= k) continue;
      const int d1 = g1.length, d2 = g2.length, b = std::min(d1, d2) / 5;
      if (b > 59) continue;
      ++st.nd[b];
      if (Abs(d1 - d2) < 60) ++st.len[b][Abs(d1 - d2)];
      const int e = Fold(g1.direction - g2.direction - al.rotation);
      if (e < 50 && ref.row > 5) ++st.turn[b][e];
    }
    if (around.size() < 2) continue;
    std::stable_sort(around.begin(), around.end(),
                     [](const Around &a, const Around &b) { return a.dirFirst > b.dirFirst; });
    for (size_t m = 0; m < around.size(); ++m) {
      const Around &a = around[m], &o = around[(m + 1) % around.size()];
      const int W = std::min(a.sumDist / 10, o.sumDist / 10);
      if (W > 59) continue;
      ++st.nb[W];
      int P = Mod360(a.dirFirst - o.dirFirst), Q = Mod360(a.dirSecond - o.dirSecond);
      if (P <= 180) P += 360;
      if (Q <= 180) Q += 360;
      if (Abs(P - Q) < 50) ++st.nbang[W][Abs(P - Q)];
    }
  }
}

}  // namespace fplib
