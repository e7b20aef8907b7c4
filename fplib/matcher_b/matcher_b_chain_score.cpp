#include "matcher_b_consolidation.h"

namespace fplib {

namespace {

int Value(const CandidateB &c, bool withSupports) { return c.similarity + (withSupports ? c.support : 0); }

int ScoreOne(const MatcherBSearch &s, int a, int &partner, bool withSupports) {
  const PairCandidatesB &pc = s.candidates[size_t(a)];
  int best = -1, bestValue = 0;
  for (int i = 0; i < pc.count; ++i) {
    const int v = Value(pc.list[i], withSupports);
    if (v > 0 && v > bestValue) {
      best = i;
      bestValue = v;
    }
  }
  if (best < 0) return 0;
  partner = pc.list[best].second;
  return bestValue / 2;
}

// (a, b) over a's support entries (built against b). Fixed partners must be
// kept; an excluded one may not be taken by the other member.
int ScoreTwo(const MatcherBSearch &s, int a, int b, int &pa, int &pb, int fixedA, int fixedB, int excludeA,
             int excludeB, bool withSupports) {
  const PairCandidatesB &ca = s.candidates[size_t(a)], &cb = s.candidates[size_t(b)];
  int best = -1, bestValue = 0;
  for (int k = 0; k < ca.supportCount; ++k) {
    const SupportEntryB &e = ca.supports[k];
    if (e.mine >= ca.count || e.theirs >= cb.count) continue;
    const int sa = ca.list[e.mine].second, sb = cb.list[e.theirs].second;
    if (fixedA >= 0 && sa != fixedA) continue;
    if (fixedB >= 0 && sb != fixedB) continue;
    if (excludeA >= 0 && sa == excludeA) continue;
    if (excludeB >= 0 && sb == excludeB) continue;
    const int v = e.score + Value(ca.list[e.mine], withSupports) + Value(cb.list[e.theirs], withSupports);
    if (v > 0 && v > bestValue) {
      best = k;
      bestValue = v;
    }
  }
  if (best < 0) return 0;
  pa = ca.list[ca.supports[best].mine].second;
  pb = cb.list[ca.supports[best].theirs].second;
  return withSupports ? bestValue / 5 + 100 : bestValue / 3;
}

}  // namespace

int chainScore(const MatcherBSearch &s, const int *members, int n, int *partners, const int *exclude,
               bool withSupports) {
  if (n == 1) return ScoreOne(s, members[0], partners[0], withSupports);
  if (n == 2)
    return ScoreTwo(s, members[0], members[1], partners[0], partners[1], partners[0], partners[1],
                    exclude ? exclude[0] : -1, exclude ? exclude[1] : -1, withSupports);
  const int a = members[0], b = members[1], c = members[2];
  int aA = -1, bA = -1, bB = -1, cB = -1;
  const int A = ScoreTwo(s, a, b, aA, bA, -1, -1, -1, -1, true);
  const int B = ScoreTwo(s, b, c, bB, cB, -1, -1, -1, -1, true);
  partners[0] = partners[1] = partners[2] = -1;
  if (A <= 0 || B <= 0) return 0;
  if (bA == bB && aA != cB) {
    partners[0] = aA;
    partners[1] = bB;
    partners[2] = cB;
    return (A + B) / 2 + 100;
  }
  int aE = -1, bE = -1, bF = -1, cF = -1;
  const int E = ScoreTwo(s, a, b, aE, bE, -1, bB, cB, -1, true);
  const int F = ScoreTwo(s, b, c, bF, cF, bA, -1, -1, aA, true);
  if (E > 0 && (F <= 0 || E + B >= F + A)) {
    partners[0] = aE;
    partners[1] = bB;
    partners[2] = cB;
    return (E + B) / 2 + 100;
  }
  if (F > 0) {
    partners[0] = aA;
    partners[1] = bA;
    partners[2] = cF;
    return (F + A) / 2 + 100;
  }
  if (B < A) {
    partners[0] = aA;
    partners[1] = bA;
    return A;
  }
  partners[1] = bB;
  partners[2] = cB;
  return B;
}

}  // namespace fplib
