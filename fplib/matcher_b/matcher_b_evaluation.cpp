#include <cmath>

#include "matcher_b_hull.h"
#include "matcher_b_pairing.h"

namespace fplib {

namespace {

// Second-set point taken back into first-set space: shifted, then turned by -r.
void MapBack(const PointB &q, const AlignmentB &al, int &x, int &y) {
  RotatePoint(q.x + al.dx, q.y + al.dy, -al.rotation, x, y);
}

constexpr int kQualityUnknown = -1;

// Quality from the points of each set that lie in the other's hull under
// the evaluation's alignment (paired ones count as inside). Worked out only
// when a comparison needs it: most pairings are judged by their means, and
// the hull tests are the larger part of an evaluation.
void SettleQuality(const MatcherBSearch &s, EvaluationB &e) {
  if (e.quality != kQualityUnknown) return;
  const PointSetB &A = s.A(), &B = s.B();
  const SetHullsB &h = s.hulls;
  bool pairedA[kMaxPointsB] = {}, pairedB[kMaxPointsB] = {};
  for (int i = 0; i < e.pairs; ++i) {
    pairedA[e.first[i]] = true;
    pairedB[e.second[i]] = true;
  }
  // Paired points count without the test; the others are listed without a
  // branch and tested in one batch.
  int xs[kMaxPointsB], ys[kMaxPointsB], listed = 0, paired = 0;
  for (int m = 0; m < A.count; ++m) {
    MapPoint(A.points[m], e.align, xs[listed], ys[listed]);
    paired += int(pairedA[m]);
    listed += int(!pairedA[m]);
  }
  e.inFirst = paired + CountInsideMadeHull(h.b, xs, ys, listed);
  listed = paired = 0;
  for (int t = 0; t < B.count; ++t) {
    MapBack(B.points[t], e.align, xs[listed], ys[listed]);
    paired += int(pairedB[t]);
    listed += int(!pairedB[t]);
  }
  e.inSecond = paired + CountInsideMadeHull(h.a, xs, ys, listed);
  const int n = e.pairs;
  const float g = std::sqrt(float(e.inFirst) * float(e.inSecond));
  const float l = g >= 0.1f ? float(n) / g : 0.0f;
  const float f1 = n < 8 ? l * (float(n) * 0.125f) : l;
  const float f2 = float(n) * float(e.similaritySum) * l;
  e.quality = int(std::floor(double(f1 * f2) * 0.04));
}

bool KeepsBest(const MatcherBSearch &s, EvaluationB &best, EvaluationB &now) {
  const int w = best.pairs, n = now.pairs;
  if (w <= 2) return false;
  if (n <= 13 && Abs(n - w) <= 1) {
    const int meanBest = best.similaritySum / w, meanNow = now.similaritySum / n;
    if (w < n) return meanBest - meanNow >= 90;
    if (w == n) return meanBest >= meanNow;
    return meanNow - meanBest <= 90;
  }
  SettleQuality(s, best);
  SettleQuality(s, now);
  return best.quality >= now.quality;
}

void SetHull(const PointSetB &set, SetHullsB &h, HullScratchB &out) {
  h.points.clear();
  for (int m = 0; m < set.count; ++m) h.points.push_back({set.points[m].x, set.points[m].y, m});
  MakeHull(h.points, -1, out);
}

}  // namespace

void evaluatePairing(MatcherBSearch &s, const AlignmentB &al) {
  const PointSetB &A = s.A(), &B = s.B();
  EvaluationRecordB &ev = s.eval;
  int c = 0;
  for (int m = 0; m < A.count; ++m) {
    PairCandidatesB &pc = s.candidates[size_t(m)];
    int pick = -1, best = 0;
    for (int i = 0; i < pc.count; ++i) {
      const CandidateB &cd = pc.list[i];
      if (cd.support > 350 && cd.similarity > 600 && (pick < 0 || cd.support + cd.similarity > best)) {
        pick = i;
        best = cd.support + cd.similarity;
      }
    }
    pc.chosen = pick >= 0 && best > 1100 ? pick : -1;
    c += pc.chosen >= 0;
  }
  if (c > ev.bestStrong)
    ev.bestStrong = c;
  else if (ev.bestStrong - c > 4)
    return;
  EvaluationB &cur = ev.current;
  cur = EvaluationB();
  cur.valid = 1;
  cur.align = al;
  for (int m = 0; m < A.count; ++m) {
    const PairCandidatesB &pc = s.candidates[size_t(m)];
    if (pc.chosen < 0) continue;
    const CandidateB &cd = pc.list[pc.chosen];
    cur.first[cur.pairs] = m;
    cur.second[cur.pairs] = cd.second;
    ++cur.pairs;
    cur.similaritySum += cd.similarity + cd.support;
  }
  SetHullsB &h = s.hulls;
  if (!h.readyA) {
    SetHull(A, h, h.a);
    h.readyA = true;
  }
  if (!h.readyB) {
    SetHull(B, h, h.b);
    h.readyB = true;
  }
  if (h.b.hull.empty() || h.a.hull.empty()) return;
  const int n = cur.pairs;
  cur.quality = n > 80 ? 5000 : kQualityUnknown;
  if (n > 2 && !KeepsBest(s, ev.best, cur)) {
    ev.best = cur;
    for (int m = 0; m < A.count; ++m) {
      const PairCandidatesB &pc = s.candidates[size_t(m)];
      if (pc.chosen < 0) {
        ev.chosen[m] = ChosenPairB();
      } else {
        const CandidateB &cd = pc.list[pc.chosen];
        ev.chosen[m] = {cd.second, cd.similarity, cd.cost, cd.support, cd.keep};
      }
    }
  }
  ev.done = 1;
}

void settleBestQuality(MatcherBSearch &s) {
  if (s.eval.best.pairs > 0) SettleQuality(s, s.eval.best);
}

}  // namespace fplib
