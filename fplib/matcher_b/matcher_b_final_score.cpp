#include <cmath>
#include <cstdint>
#include <vector>

#include "matcher_b_hull.h"
#include "matcher_b_score.h"

namespace fplib {

namespace {

struct Fixed {
  int64_t mant;
  int bits;
};

int64_t ToBits(const Fixed &f, int bits) {
  return bits >= f.bits ? f.mant << (bits - f.bits) : f.mant >> (f.bits - bits);
}

// Aligns to the finer operand, adds, and converts to the destination's bits.
Fixed Add(const Fixed &a, const Fixed &b, int destBits) {
  const int bits = a.bits > b.bits ? a.bits : b.bits;
  return {ToBits({ToBits(a, bits) + ToBits(b, bits), bits}, destBits), destBits};
}

struct Thresholds {
  int lo, hi;
};

Thresholds ByCount(int c) {
  if (c <= 4) return {70, 210};
  if (c <= 6) return {72, 220};
  if (c <= 9) return {75, 230};
  if (c <= 12) return {85, 240};
  if (c <= 15) return {95, 250};
  if (c <= 19) return {105, 260};
  if (c <= 23) return {110, 260};
  return {120, 260};
}

int64_t ScaleByCount(int c, int64_t G) {
  if (c >= 26) return (5 * G / 4) >> 5;
  if (c >= 21) return (50 * G / 43) >> 5;
  if (c >= 18) return (50 * G / 47) >> 5;
  if (c >= 15) return G >> 5;
  if (c >= 12) return (50 * G / 55) >> 5;
  if (c >= 9) return (5 * G / 6) >> 5;
  if (c >= 7) return (50 * G / 65) >> 5;
  if (c >= 5) return (5 * G / 7) >> 5;
  return (5 * G / 8) >> 5;
}

}  // namespace

int countInsideOwnHull(const PointSetB &set, const MatcherBResult &result, bool secondSide,
                       FinalScoreScratchB &scratch) {
  if (result.pairCount < 3) return 0;
  std::vector<HullPoint> &paired = scratch.paired;
  paired.clear();
  for (int i = 0; i < result.pairCount; ++i) {
    const int idx = secondSide ? result.second[i] : result.first[i];
    paired.push_back({set.points[idx].x, set.points[idx].y, idx});
  }
  HullScratchB &h = scratch.hull;
  if (!MakeHull(paired, kMaxPointsB, h)) return -1;
  const int vertices = int(h.hull.size()) - 1;
  bool isVertex[kMaxPointsB] = {};
  for (int v = 0; v < vertices; ++v) isVertex[h.distinct[size_t(h.hull[size_t(v)])].id] = true;
  int xs[kMaxPointsB], ys[kMaxPointsB], n = 0;
  for (int t = 0; t < set.count; ++t) {
    xs[n] = set.points[t].x;
    ys[n] = set.points[t].y;
    n += int(!isVertex[t]);
  }
  return vertices + CountInsideMadeHull(h, xs, ys, n);
}

int overlapRatio(const PointSetB &first, const MatcherBResult &result, const PointSetB &second,
                 const AlignmentB &al, FinalScoreScratchB &scratch) {
  const int c = result.pairCount;
  if (c < 3) return 0;
  std::vector<HullPoint> &kept = scratch.kept, &keptPaired = scratch.keptPaired, &secondAll = scratch.secondAll,
                         &secondPaired = scratch.secondPaired, &source = scratch.source;
  kept.clear();
  keptPaired.clear();
  secondAll.clear();
  secondPaired.clear();
  for (int m = 0; m < first.count; ++m) {
    int x, y;
    MapPoint(first.points[m], al, x, y);
    const bool inRange = x >= 0 && x <= 999 && y >= 0 && y <= 999;
    if (!inRange && !result.firstPaired[m]) continue;
    if (!inRange) {
      x = x < 0 ? 0 : x > 1000 ? 1000 : x;
      y = y < 0 ? 0 : y > 1000 ? 1000 : y;
    }
    kept.push_back({x, y, m});
    if (result.firstPaired[m]) keptPaired.push_back({x, y, m});
  }
  for (int t = 0; t < second.count; ++t) {
    secondAll.push_back({second.points[t].x, second.points[t].y, t});
    if (result.secondPaired[t]) secondPaired.push_back(secondAll.back());
  }
  source.assign(secondAll.begin(), secondAll.end());
  source.insert(source.end(), keptPaired.begin(), keptPaired.end());
  const int inFirst = countInsideHull(kept, source, scratch.hull);
  if (inFirst < 1) return 0;
  int e = c > inFirst ? c : inFirst;
  source.assign(kept.begin(), kept.end());
  source.insert(source.end(), secondPaired.begin(), secondPaired.end());
  const int inSecond = countInsideHull(secondAll, source, scratch.hull);
  if (inSecond < 1) return 0;
  if (inSecond >= c) e += inSecond - c;
  return (c << 14) / e;
}

void computeFinalScore(const ScoreStatisticsB &st, const PointSetB &first, const PointSetB &second,
                       MatcherBResult &result, const AlignmentB &al, FinalScoreScratchB &scratch) {
  result.score = 0;
  const int c = result.pairCount;
  if (c < 3) return;
  const int64_t S = st.nd, M = st.nb;
  if (S <= 0 || M <= 0 || st.pairs <= 0) return;
  const float N = float(st.pairs);
  const float q1 = float(st.pos) / N, q2 = float(st.len) / float(S), q3 = float(st.turn) / float(S),
              q4 = float(st.nbang) / float(M), q5 = float(st.ang) / N;
  const float D = std::sqrt(q1 * q1 + q2 * q2 + q3 * q3 + q4 * q4 + q5 * q5);
  const Thresholds th = ByCount(c);
  const float D10 = 10.0f * D;
  Fixed v{0, 6};
  if (D10 <= float(th.lo)) {
    v = {1000 << 6, 6};
  } else if (D10 <= float(th.hi)) {
    const int64_t w = int64_t(std::floor(float(th.hi) - D10));
    const int64_t P = 40 * int64_t(c) * w, span = th.hi - th.lo;
    v = span * 1024 < P ? Fixed{P * 8 / span, 3} : Fixed{P * 64 / span, 6};
  }
  const int64_t vInt = v.mant >> v.bits;
  if (vInt >= 650 && c > 7) {
    result.score = int(vInt);
    return;
  }
  if (c > 30 && vInt > 450) {
    result.score = int((v.mant * 112 / 100) >> v.bits);
    return;
  }
  const int C2 = countInsideOwnHull(second, result, true, scratch),
            C1 = countInsideOwnHull(first, result, false, scratch);
  if (C1 < 0 || C2 < 0) return;
  const int64_t O = overlapRatio(first, result, second, al, scratch);
  if (10 * O < 16384) return;
  // Duplicate or edge positions can leave the hull counts below the pairs.
  if (C1 + C2 - c <= 0) return;
  const Fixed U{int64_t(c) * 8000 / (C1 + C2 - c), 3};
  if (v.mant < (int64_t(1000) << v.bits)) v.mant = v.mant * 25 / c;
  Fixed sum = Add({O * 2000 >> 11, 3}, v, 3);
  sum = Add(sum, U, 3);
  int64_t score = ScaleByCount(c, sum.mant);
  if (score < 650) {
    Fixed lin{int64_t(c) * 44952 / 700, 3};
    lin = Add(lin, {v.mant * 1191 / 10000, v.bits}, 3);
    lin = Add(lin, {(O * 2304 / 10) >> 6, 8}, 3);
    lin = Add(lin, {U.mant * 884 / 10000, 3}, 3);
    score = lin.mant >> 3;
  }
  result.score = int(score > 1000 ? 1000 : score < 0 ? 0 : score);
}

}  // namespace fplib
