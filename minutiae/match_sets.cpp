// Compatibility of correspondences, consistent sets and the final score.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ftemplate.h"
#include "int_geometry.h"
#include "matcher.h"

namespace minutiae {

namespace {

struct Run {
  int value, from;
};

// Fills a row from runs of (value, first column); the last run reaches the end.
template <size_t N>
void FillRuns(uint8_t *row, int size, const Run (&runs)[N]) {
  for (size_t k = 0; k < N; ++k) {
    const int to = k + 1 < N ? runs[k + 1].from : size;
    for (int c = runs[k].from; c < to; ++c) row[c] = uint8_t(runs[k].value);
  }
}

struct MatchTables {
  uint8_t length[400], angle[400];
  uint8_t c1[16][16], c2[16][16];
  uint8_t r1[10][64], l1[10][64], r2[6][64];
  MatchTables() {
    FillRuns(length, 400, {Run{17, 0}, {18, 7}, {19, 21}, {20, 35}, {21, 50}, {22, 66}, {23, 82}, {24, 98}, {25, 115},
                           {26, 133}, {27, 151}, {28, 172}, {29, 196}, {30, 220}, {31, 248}, {32, 280}, {33, 312},
                           {34, 344}, {35, 376}});
    for (int s = 0; s < 400; ++s) angle[s] = uint8_t(s < 96 ? 34 : 34 - (s - 64) / 32);
    for (int x = 0; x < 16; ++x)
      for (int y = 0; y < 16; ++y) {
        const int m = std::max(x, y);
        c1[x][y] = uint8_t(m == 0 ? 0 : m / 2 + 1);
        c2[x][y] = uint8_t(std::min<int>(5, c1[x][y]));
      }
    FillRuns(r1[0], 64, {Run{7, 0}, {9, 7}, {40, 35}});
    FillRuns(r1[1], 64, {Run{7, 0}, {9, 7}, {10, 15}, {40, 35}});
    FillRuns(r1[2], 64, {Run{7, 0}, {9, 7}, {10, 15}, {12, 25}, {14, 30}, {40, 35}});
    FillRuns(r1[3], 64, {Run{10, 0}, {11, 7}, {12, 10}, {13, 15}, {19, 25}, {20, 30}, {40, 35}});
    FillRuns(r1[4], 64, {Run{10, 0}, {13, 7}, {14, 20}, {23, 25}, {24, 30}, {40, 35}});
    FillRuns(r1[5], 64, {Run{18, 0}, {19, 10}, {20, 20}, {23, 25}, {24, 30}, {40, 35}});
    FillRuns(r1[6], 64, {Run{18, 0}, {19, 10}, {40, 15}});
    FillRuns(r1[7], 64, {Run{23, 0}, {24, 10}, {40, 15}});
    FillRuns(r1[8], 64, {Run{40, 0}});
    FillRuns(r1[9], 64, {Run{40, 0}});
    FillRuns(l1[0], 64, {Run{18, 0}, {19, 10}, {20, 20}, {40, 35}});
    FillRuns(l1[1], 64, {Run{18, 0}, {19, 10}, {20, 20}, {40, 35}});
    FillRuns(l1[2], 64, {Run{18, 0}, {19, 10}, {20, 20}, {21, 25}, {22, 30}, {40, 35}});
    FillRuns(l1[3], 64, {Run{20, 0}, {21, 15}, {22, 25}, {23, 30}, {40, 35}});
    FillRuns(l1[4], 64, {Run{20, 0}, {24, 7}, {28, 15}, {30, 25}, {32, 30}, {40, 35}});
    FillRuns(l1[5], 64, {Run{21, 0}, {24, 7}, {28, 15}, {30, 25}, {32, 30}, {40, 35}});
    FillRuns(l1[6], 64, {Run{21, 0}, {24, 7}, {40, 15}});
    for (int r = 7; r < 10; ++r) FillRuns(l1[r], 64, {Run{40, 0}});
    FillRuns(r2[0], 64, {Run{40, 0}, {32, 10}, {24, 15}, {26, 25}, {40, 30}});
    FillRuns(r2[1], 64, {Run{40, 0}, {32, 10}, {24, 15}, {28, 25}, {40, 30}});
    FillRuns(r2[2], 64, {Run{40, 0}, {32, 10}, {28, 15}, {24, 20}, {28, 25}, {40, 30}});
    FillRuns(r2[3], 64, {Run{40, 0}, {32, 10}, {30, 15}, {28, 20}, {40, 30}});
    FillRuns(r2[4], 64, {Run{40, 0}, {32, 10}, {30, 15}, {28, 20}, {32, 25}, {40, 30}});
    FillRuns(r2[5], 64, {Run{40, 0}});
  }
};

const MatchTables &Tables() {
  static const MatchTables t;
  return t;
}

struct Compat {
  int n = 0;
  std::vector<int16_t> w;
  std::vector<uint8_t> conflict;
  void Reset(int size) {
    n = size;
    w.assign(size_t(n) * n, 0);
    conflict.assign(size_t(n) * n, 0);
  }
  int16_t W(int i, int j) const { return w[size_t(i) * n + j]; }
  bool C(int i, int j) const { return conflict[size_t(i) * n + j] != 0; }
  void SetConflict(int i, int j) { conflict[size_t(i) * n + j] = conflict[size_t(j) * n + i] = 1; }
};

void BuildCompatibility(const SetContext &A, const SetContext &B, const std::vector<Correspondence> &list, Compat &m) {
  const MatchTables &t = Tables();
  m.Reset(int(list.size()));
  for (int i = 0; i < m.n; ++i)
    for (int j = i + 1; j < m.n; ++j) {
      const int b1 = list[size_t(i)].b, a1 = list[size_t(i)].a, b2 = list[size_t(j)].b, a2 = list[size_t(j)].a;
      if (b1 == b2 || a1 == a2) {
        m.SetConflict(i, j);
        continue;
      }
      const int fA = A.D2(a1, a2), fB = B.D2(b1, b2);
      const bool inRange = fA >= 256 && fA <= 48399 && fB >= 256 && fB <= 48399;
      const int lenA = A.profile->length(fA), lenB = A.profile->length(fB);
      const int dl = std::abs(lenA - lenB), s = std::min(lenA + lenB, 399);
      const int dr = std::abs(Signed8(B.Rel(b2, b1) - A.Rel(a2, a1)));
      const int du = std::abs(Signed8(B.Rel(b1, b2) - A.Rel(a1, a2)));
      if (du > t.angle[s] || dr > t.angle[s] || dl > t.length[s]) {
        m.SetConflict(i, j);
        continue;
      }
      const int h = std::min(lenA, lenB);
      bool suspect = false;
      const int x = foldAngleDistance(A.Rel(a1, a2), B.Rel(b1, b2)), y = foldAngleDistance(A.Rel(a2, a1), B.Rel(b2, b1));
      if (x <= 15 && y <= 15 && h <= 179) {
        const int cls = t.c1[x][y], col = h / 4;
        suspect = t.r1[cls][col] < du || t.r1[cls][col] < dr || t.l1[cls][col] < dl;
      }
      const int xq = foldAngleDistanceQuarter(A.Rel(a1, a2), B.Rel(b1, b2));
      const int yq = foldAngleDistanceQuarter(A.Rel(a2, a1), B.Rel(b2, b1));
      if (xq <= 15 && yq <= 15 && h <= 179) {
        const int cls = t.c2[xq][yq], col = h / 4;
        suspect = suspect || t.r2[cls][col] < du || t.r2[cls][col] < dr || dl > 40;
      }
      const int w = 672 - 14 * (du + dr) - 24 * dl;
      if (inRange && du <= 12 && dr <= 12 && dl <= 14 && w > 0) {
        if (suspect) m.SetConflict(i, j);
        else m.w[size_t(i) * m.n + j] = m.w[size_t(j) * m.n + i] = int16_t(w);
      } else if (suspect) {
        m.SetConflict(i, j);
      }
    }
}

struct SetResult {
  int64_t score = -1;
  std::vector<int> members;
};

using SetList = std::vector<std::vector<Correspondence>>;

// Best set score (64-bit: the products overflow 32 bits on good matches).
// Unless the short return is taken, the best `keep` sets go to `sets`.
int GrowConsistentSets(const SetContext &A, const SetContext &B, const std::vector<Correspondence> &list, Compat &m,
                       SetList *sets, int keep) {
  const int n = int(list.size());
  if (n > 1) BuildCompatibility(A, B, list, m);
  else m.Reset(n);
  std::vector<std::vector<int>> compatible(static_cast<size_t>(n)), full(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) {
      if (m.W(i, j) == 0) continue;
      compatible[size_t(i)].push_back(j);
      compatible[size_t(j)].push_back(i);
      bool isFull = true;
      for (int k = 0; k < n && isFull; ++k)
        isFull = !((m.W(k, i) != 0 && m.C(k, j)) || (m.W(k, j) != 0 && m.C(k, i)));
      if (isFull) {
        full[size_t(i)].push_back(j);
        full[size_t(j)].push_back(i);
      }
    }
  std::vector<uint8_t> used(size_t(n), 0), inSet(size_t(n), 0);
  SetResult best[4];
  for (int p = 0; p < n; ++p) {
    if (used[size_t(p)]) continue;
    std::fill(inSet.begin(), inSet.end(), 0);
    std::vector<int> members{p}, stack;
    inSet[size_t(p)] = 1;
    for (int q : full[size_t(p)]) {
      members.push_back(q);
      inSet[size_t(q)] = 1;
      used[size_t(q)] = 1;
    }
    for (auto it = full[size_t(p)].rbegin(); it != full[size_t(p)].rend(); ++it) stack.push_back(*it);
    stack.push_back(p);
    while (!stack.empty()) {
      const int cur = stack.back();
      stack.pop_back();
      for (int q : compatible[size_t(cur)]) {
        if (inSet[size_t(q)]) continue;
        bool ok = true;
        for (int mm : members) ok = ok && !m.C(q, mm);
        if (!ok) continue;
        inSet[size_t(q)] = 1;
        members.push_back(q);
        stack.push_back(q);
      }
    }
    int64_t score = 0;
    for (int a : members) {
      int64_t row = 0;
      for (int b : members)
        if (b != a) row += m.W(a, b);
      score += int64_t(list[size_t(a)].weight) * row;
    }
    for (int k = 0; k < 4; ++k)
      if (best[k].score < score) {
        for (int j = 3; j > k; --j) best[j] = std::move(best[j - 1]);
        best[k] = {score, members};
        break;
      }
  }
  const int64_t o = std::max<int64_t>(0, best[0].score);
  const int64_t P = int64_t(A.count) * B.count;
  if (sets) sets->clear();
  if (A.profile->setShortReturn && o / P <= 36863) return int(0.625 * std::sqrt(double(o) * 6.25 / double(P)));
  if (sets)
    for (int k = 0; k < keep; ++k) {
      sets->emplace_back();
      if (best[k].score >= 0)
        for (int mm : best[k].members) sets->back().push_back(list[size_t(mm)]);
    }
  return int(std::min<int64_t>(int64_t(double(o) * 0.0625 + 0.5), 0x70000000));
}

// Clears the voted cells that clash with the set; false when none was cleared.
bool PruneInconsistentVotes(const SetContext &A, const SetContext &B, const std::vector<Correspondence> &set,
                            std::vector<uint8_t> &flag) {
  const Minutia *ma = A.record->minutiae, *mb = B.record->minutiae;
  const auto distance = [&](int x1, int y1, int x2, int y2) {
    return A.profile->length((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1));
  };
  bool cleared = false;
  for (int b = 0; b < B.count; ++b)
    for (int a = 0; a < A.count; ++a) {
      uint8_t &f = flag[size_t(b) * 120 + a];
      if (!f) continue;
      bool member = false, clash = false;
      int nearest = -1, nearestG = 0, nearLen = 0, nearAng = 0;
      for (const Correspondence &c : set) {
        if (c.b == b && c.a == a) {
          member = true;
          break;
        }
        if (c.b == b || c.a == a) {
          clash = true;
          continue;
        }
        const int gA = distance(ma[a].x, ma[a].y, ma[c.a].x, ma[c.a].y);
        const int gB = distance(mb[b].x, mb[b].y, mb[c.b].x, mb[c.b].y);
        const int dl = std::abs(gA - gB);
        const int d1 = foldDirection(B.Rel(b, c.b), A.Rel(a, c.a), 256), d2 = foldDirection(B.Rel(c.b, b), A.Rel(c.a, a), 256);
        if (dl > (gA + gB + 8) / 16 + 17 || d1 > 34 || d2 > 34) clash = true;
        if (gB > 10 && (nearest < 0 || gB < nearestG)) {
          nearest = c.b;
          nearestG = gB;
          nearLen = dl;
          nearAng = std::max(d1, d2);
        }
      }
      if (member) continue;
      if (!clash && nearest >= 0 && (nearLen > 16 || nearAng > 32)) clash = true;
      if (clash) {
        f = 0;
        cleared = true;
      }
    }
  return cleared;
}

std::vector<Correspondence> MutualBestCells(const SetContext &A, const SetContext &B, VoteState &v,
                                            const std::vector<uint8_t> &flag) {
  std::vector<int> bestRow(size_t(A.count), -1), bestCol(size_t(B.count), -1);
  for (int b = 0; b < B.count; ++b)
    for (int a = 0; a < A.count; ++a) {
      if (!flag[size_t(b) * 120 + a]) continue;
      const int value = v.Vote(b, a);
      if (bestRow[size_t(a)] < 0 || value > v.Vote(bestRow[size_t(a)], a)) bestRow[size_t(a)] = b;
      if (bestCol[size_t(b)] < 0 || value > v.Vote(b, bestCol[size_t(b)])) bestCol[size_t(b)] = a;
    }
  std::vector<Correspondence> out;
  for (int b = 0; b < B.count; ++b) {
    const int a = bestCol[size_t(b)];
    if (a >= 0 && bestRow[size_t(a)] == b) out.push_back({int16_t(b), int16_t(a), v.Weighted(b, a)});
  }
  return out;
}

// Mid-range results: regrow each kept set from the votes that agree with it.
int RefineMatchScore(const SetContext &A, const SetContext &B, VoteState &v, SetList &sets, int t) {
  for (auto &set : sets) {
    if (set.empty()) break;
    std::vector<uint8_t> flag(120 * 120, 0);
    for (int b = 0; b < B.count; ++b)
      for (int a = 0; a < A.count; ++a) flag[size_t(b) * 120 + a] = v.Vote(b, a) != 0;
    if (!PruneInconsistentVotes(A, B, set, flag)) break;
    set = MutualBestCells(A, B, v, flag);
    if (set.empty()) break;
    Compat m;
    SetList best;
    const int score = GrowConsistentSets(A, B, set, m, &best, 1);
    if (score > t) {
      t = score;
      if (!best.empty()) sets[0] = best[0];
    }
  }
  return t;
}

// Scale factors of the final score: E / P from the set sizes.
void ScoreScale(const SetContext &A, const SetContext &B, bool penalties, int64_t &E, int64_t &P) {
  const int nA = A.count, nB = B.count;
  P = nB <= 10 ? 1 : nB;
  if (nA > 10) P *= nA;
  E = nB <= 10 ? 1 : 10;
  if (nA > 10) E *= 10;
  if (!penalties) return;
  if (2 * nB < nA || 2 * nA < nB) E = E * 92 / 100;
  if (nA < 22 || nB <= 21) E = E * 95 / 100;
}

int ComputeMatchScore(const SetContext &A, const SetContext &B, std::vector<Correspondence> &list, const VoteState &v,
                      Compat &m, int t) {
  const MatchProfile &p = *A.profile;
  int64_t E, P;
  ScoreScale(A, B, p.penalties, E, P);
  const double root = std::sqrt(double(E) * t / double(P));
  const int S = p.doubleScale ? int(root * 0.625 + 0.5) : int(float(root) * 0.625f + 0.5f);
  if (S < 100 || S < p.rescoreLow || S >= p.rescoreHigh) return S;
  const int n = int(list.size());
  if (n <= 1) return S;
  std::vector<int> cell(120 * 120, -1);
  for (int i = 0; i < n; ++i) cell[size_t(list[size_t(i)].b) * 120 + list[size_t(i)].a] = i;
  for (const MatchCandidate &c : v.candidates) {
    const PairDescriptor &s = A.pairs[size_t(c.aDesc)], &q = B.pairs[size_t(c.bDesc)];
    const int ni = cell[size_t(q.nearIdx) * 120 + s.nearIdx], fi = cell[size_t(q.farIdx) * 120 + s.farIdx];
    if (ni < 0 || fi < 0) continue;
    const int add = int(std::floor(float(c.turnScore) * (v.Support(0, q.farIdx, s.farIdx) + v.Support(0, q.nearIdx, s.nearIdx))));
    list[size_t(ni)].weight += add;
    list[size_t(fi)].weight += add;
  }
  BuildCompatibility(A, B, list, m);
  double Q = 0;
  for (int i = 0; i < n; ++i) {
    int64_t row = 0;
    for (int j = 0; j < n; ++j) row += m.W(i, j);
    Q += double(list[size_t(i)].weight) * double(row);
  }
  const double capped = std::min(Q * 0.0625 + 0.5, 1879048192.0);
  return int(0.625 * std::sqrt(capped * double(E) / double(P)) + 0.5);
}

}  // namespace

int foldAngleDistance(int a, int b) {
  auto cap = [](int v) { return std::min(v, 16); };
  if (a >= 81 && a <= 127) {
    if (b >= 128 && b <= 175) return 0;
    if (b >= 81 && b <= 128) return cap(128 - std::max(a, b));
  } else if (a >= 128 && a <= 175) {
    if (b >= 81 && b <= 127) return 0;
    if (b >= 128 && b <= 175) return cap(std::min(a, b) - 128);
  }
  if ((a >= 48 && a <= 208) || (b >= 48 && b <= 208)) return 16;
  if ((a > 208 && b < 48) || (a < 48 && b > 208)) return 0;
  if (a > 208 && b > 208) return cap(256 - std::max(a, b));
  return cap(std::min(a, b));
}

int foldAngleDistanceQuarter(int a, int b) {
  auto cap = [](int v) { return std::min(v, 16); };
  if (a >= 65 && a <= 111) {
    if (b >= 17 && b <= 64) return 0;
    if (b <= 16 || b >= 112) return 16;
    return cap(std::min(a, b) - 64);
  }
  if (a >= 17 && a <= 64) {
    if (b >= 64 && b <= 111) return 0;
    if (b <= 16 || b >= 112) return 16;
    return cap(64 - std::max(a, b));
  }
  if (a >= 193 && a <= 239) {
    if (b >= 145 && b <= 192) return 0;
    if (b >= 193 && b <= 239) return cap(std::min(a, b) - 192);
    return 16;
  }
  if (a >= 145 && a <= 192) {
    if (b >= 192 && b <= 239) return 0;
    if (b <= 144 || b >= 240) return 16;
    return cap(192 - std::max(a, b));
  }
  return 16;
}

int matchMinutiaeSets(const MinutiaeRecord &recA, const MinutiaeRecord &recB, const MatchProfile &profile) {
  SetContext A, B;
  A.profile = B.profile = &profile;
  if (buildTemplateContext(A, recA, true) == 0) return 0;
  if (buildTemplateContext(B, recB, false) == 0) return 0;
  VoteState v;
  v.votes.assign(120 * 120, 0);
  v.weightedVotes.assign(120 * 120, 0);
  if (matchPairDescriptors(A, B, v) == 0) return 0;
  if (voteAlignments(B, A, v) <= 0) return 0;
  std::vector<Correspondence> list;
  if (collectCorrespondences(A, B, v, list) == 0) return 0;
  Compat m;
  SetList sets;
  int t = GrowConsistentSets(A, B, list, m, &sets, 4);
  const MatchProfile &p = *A.profile;
  if (p.refineAnyScore || t > 184) {
    int64_t k, s;
    ScoreScale(A, B, false, k, s);
    const int M = int(0.625 * std::sqrt(double(t) * double(k) / double(s)) + 0.5);
    if (M > p.refineLow && M < p.refineHigh) t = RefineMatchScore(A, B, v, sets, t);
  }
  if (p.rescoreBestSet) {
    std::vector<Correspondence> best = sets.empty() ? std::vector<Correspondence>() : sets[0];
    return ComputeMatchScore(A, B, best, v, m, t);
  }
  // Scaled whatever t is, so that scores rise monotonically with t.
  return ComputeMatchScore(A, B, list, v, m, t);
}

float scoreMinutiaeSets(const MinutiaeRecord *a, const MinutiaeRecord *b) {
  if (!a || !b) return 0.0f;
  const float s = float(matchMinutiaeSets(*a, *b)) * 0.0016276041f;
  return s > 1.0f ? 1.0f : s;
}

int matchFTemplates(const uint8_t *t1, const uint8_t *t2, float *score) {
  if (!t1 || !t2 || !score || t1[0] != 0x46 || t2[0] != 0x46) return -1;
  MinutiaeRecord a{}, b{};
  unpackFTemplate(t1, a);
  unpackFTemplate(t2, b);
  *score = scoreMinutiaeSets(&a, &b);
  return 1;
}

}  // namespace minutiae
