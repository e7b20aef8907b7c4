// Compatibility of correspondences, consistent sets and the final score.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "ftemplate.h"
#include "int_geometry.h"
#include "match_workspace_pool.h"
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
  uint8_t fold[256][256], foldQuarter[256][256];
  ScreenLimits limits;
  MatchTables() {
    for (int a = 0; a < 256; ++a)
      for (int b = 0; b < 256; ++b) {
        fold[a][b] = uint8_t(foldAngleDistance(a, b));
        foldQuarter[a][b] = uint8_t(foldAngleDistanceQuarter(a, b));
      }
    FillRuns(length, 400, {Run{17, 0}, {18, 7}, {19, 21}, {20, 35}, {21, 50}, {22, 66}, {23, 82}, {24, 98}, {25, 115},
                           {26, 133}, {27, 151}, {28, 172}, {29, 196}, {30, 220}, {31, 248}, {32, 280}, {33, 312},
                           {34, 344}, {35, 376}});
    for (int s = 0; s < 400; ++s) angle[s] = uint8_t(s < 96 ? 34 : 34 - (s - 64) / 32);
    for (int s = 0; s < 400; ++s) limits.bySum[s] = angle[s] | length[s] << 8;
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

// Pairwise weights and conflicts of a correspondence list. Weights are kept
// whole; conflicts, non-zero weights ("linked") and the pairs that agree with
// every neighbour of both ends ("full") as bit rows. Storage grows to the
// largest list seen and is kept.
struct Compat {
  int n = 0, words = 0;
  std::vector<int16_t> w;
  std::vector<uint64_t> conflict, linked, full;
  std::vector<int32_t> listA, listB;  // the list's minutiae, kScreenPad past its end
  void Reset(int size) {
    n = size;
    words = (n + 63) / 64;
    for (std::vector<int32_t> *v : {&listA, &listB})
      if (v->size() < size_t(n) + kScreenPad) v->resize(size_t(n) + kScreenPad);
    const size_t cells = size_t(n) * n, bits = size_t(n) * words;
    if (w.size() < cells) w.resize(cells);
    for (std::vector<uint64_t> *v : {&conflict, &linked, &full}) {
      if (v->size() < bits) v->resize(bits);
      std::fill_n(v->begin(), bits, 0);
    }
  }
  // Only linked pairs hold a weight; the other cells are never written.
  int16_t W(int i, int j) const { return Bit(linked, size_t(words), i, j) ? w[size_t(i) * n + j] : 0; }
  static bool Bit(const std::vector<uint64_t> &rows, size_t words, int i, int j) {
    return (rows[size_t(i) * words + size_t(j) / 64] >> (j % 64)) & 1;
  }
  static void SetBits(std::vector<uint64_t> &rows, size_t words, int i, int j) {
    rows[size_t(i) * words + size_t(j) / 64] |= uint64_t(1) << (j % 64);
    rows[size_t(j) * words + size_t(i) / 64] |= uint64_t(1) << (i % 64);
  }
  const uint64_t *Row(const std::vector<uint64_t> &rows, int i) const { return &rows[size_t(i) * words]; }
  void SetWeight(int i, int j, int value) {
    if (value == 0) return;
    w[size_t(i) * n + j] = w[size_t(j) * n + i] = int16_t(value);
    SetBits(linked, size_t(words), i, j);
  }
};

// Calls f(j) for every set bit of a row, rising.
template <class F>
void ForEachBit(const uint64_t *row, int words, F f) {
  for (int k = 0; k < words; ++k)
    for (uint64_t bits = row[k]; bits; bits &= bits - 1) f(k * 64 + __builtin_ctzll(bits));
}

// The same for the bits past column i only.
template <class F>
void ForEachBitAbove(const uint64_t *row, int words, int i, F f) {
  const int first = i / 64;
  for (int k = first; k < words; ++k) {
    uint64_t bits = row[k];
    if (k == first) bits &= ~uint64_t(0) << (i % 64) << 1;
    for (; bits; bits &= bits - 1) f(k * 64 + __builtin_ctzll(bits));
  }
}

// Transposes a 64 x 64 bit block: bit c of a[r] goes to bit r of a[c].
void Transpose64(uint64_t *a) {
  uint64_t m = 0x00000000FFFFFFFFull;
  for (int j = 32; j != 0; j >>= 1, m ^= m << j)
    for (int k = 0; k < 64; k = (k + j + 1) & ~j) {
      const uint64_t t = ((a[k] >> j) ^ a[k + j]) & m;
      a[k] ^= t << j;
      a[k + j] ^= t;
    }
}

constexpr int kTransposeFrom = 32;

// Bit rows of an n x n matrix set only above the diagonal get the mirrored
// bits below it, a 64 x 64 block at a time.
void MirrorUpperBits(uint64_t *rows, int n, int words) {
  uint64_t block[64];
  for (int r = 0; r < words; ++r)
    for (int c = r; c < words; ++c) {
      const int height = std::min(64, n - r * 64), width = std::min(64, n - c * 64);
      for (int k = 0; k < 64; ++k) block[k] = k < height ? rows[size_t(r * 64 + k) * words + c] : 0;
      Transpose64(block);
      for (int k = 0; k < width; ++k) rows[size_t(c * 64 + k) * words + r] |= block[k];
    }
}

// The full test of a pair that passed the screen: suspect pairs conflict,
// close ones link with a weight.
void TestPair(const SetContext &A, const SetContext &B, const MatchTables &t, int a1, int b1, int a2, int b2, int i,
              int j, Compat &m) {
  const PairCell ca = A.Cell(a1, a2), cb = B.Cell(b1, b2);
  const int dl = std::abs(ca.length - cb.length);
  const int du = std::abs(Signed8(cb.rel - ca.rel)), dr = std::abs(Signed8(cb.relBack - ca.relBack));
  const int h = std::min(ca.length, cb.length);
  bool suspect = false;
  const int x = t.fold[ca.rel][cb.rel], y = t.fold[ca.relBack][cb.relBack];
  if (x <= 15 && y <= 15 && h <= 179) {
    const int cls = t.c1[x][y], col = h / 4;
    suspect = t.r1[cls][col] < du || t.r1[cls][col] < dr || t.l1[cls][col] < dl;
  }
  const int xq = t.foldQuarter[ca.rel][cb.rel], yq = t.foldQuarter[ca.relBack][cb.relBack];
  if (xq <= 15 && yq <= 15 && h <= 179) {
    const int cls = t.c2[xq][yq], col = h / 4;
    suspect = suspect || t.r2[cls][col] < du || t.r2[cls][col] < dr || dl > 40;
  }
  const int fA = A.D2(a1, a2), fB = B.D2(b1, b2);
  const bool inReach = fA >= 256 && fA <= 48399 && fB >= 256 && fB <= 48399;
  const int w = 672 - 14 * (du + dr) - 24 * dl;
  if (suspect) m.conflict[size_t(i) * size_t(m.words) + size_t(j) / 64] |= uint64_t(1) << (j % 64);
  else if (inReach && du <= 12 && dr <= 12 && dl <= 14 && w > 0) m.SetWeight(i, j, w);
}

void BuildCompatibility(const SetContext &A, const SetContext &B, const std::vector<Correspondence> &list, Compat &m) {
  const MatchTables &t = Tables();
  m.Reset(int(list.size()));
  const int n = m.n;
  const size_t words = size_t(m.words);
  int32_t *listA = m.listA.data(), *listB = m.listB.data();
  for (int j = 0; j < n; ++j) {
    listA[j] = list[size_t(j)].a;
    listB[j] = list[size_t(j)].b;
  }
  std::fill_n(listA + n, kScreenPad, 0);
  std::fill_n(listB + n, kScreenPad, 0);
  // Conflicts go to the upper triangle first and are mirrored below at the
  // end: most pairs conflict, and the screen finds them eight at a time.
  for (int i = 0; i < n; ++i) {
    const int b1 = list[size_t(i)].b, a1 = list[size_t(i)].a;
    uint64_t *conflict = &m.conflict[size_t(i) * words];
    screenConflicts(&A.cells[size_t(a1) * 120], &B.cells[size_t(b1) * 120], a1, b1, listA, listB, i + 1, n, t.limits,
                    conflict);
    for (size_t k = size_t(i + 1) / 64; k < words; ++k) {
      uint64_t open = ~conflict[k];
      if (k == size_t(i + 1) / 64) open &= ~uint64_t(0) << ((i + 1) % 64);
      if (k + 1 == words && n % 64) open &= (uint64_t(1) << (n % 64)) - 1;
      for (; open; open &= open - 1) {
        const int j = int(k * 64) + __builtin_ctzll(open);
        TestPair(A, B, t, a1, b1, listA[j], listB[j], i, j, m);
      }
    }
  }
  // Small lists have few conflicts: a bit at a time is cheaper there than
  // the block transpose.
  if (n >= kTransposeFrom) {
    MirrorUpperBits(m.conflict.data(), n, m.words);
    return;
  }
  for (int i = 0; i < n; ++i) {
    const uint64_t mirror = uint64_t(1) << (i % 64);
    uint64_t *column = &m.conflict[size_t(i) / 64];
    ForEachBitAbove(m.Row(m.conflict, i), m.words, i, [&](int j) { column[size_t(j) * words] |= mirror; });
  }
}

struct SetResult {
  int64_t score = -1;
  std::vector<int> members;
};

// The best sets of a growth, at most four; entries past `count` are unused.
struct SetList {
  std::vector<Correspondence> set[4];
  int count = 0;
};

// Everything one match works in, borrowed from a pool and kept there.
struct MatchWorkspace {
  SetContext A, B;
  VoteState v;
  std::vector<Correspondence> list, rescored;
  Compat m;
  SetList sets, refined;
  SetResult best[4];
  std::vector<int> members, stack;
  std::vector<uint64_t> inSet;
  std::vector<uint8_t> used, flag;
  std::vector<int> cell;  // 120 x 120, -1 outside a re-score
  // What A and B were built from: a match against one template of the last
  // (one against many, either way round) reuses that side.
  struct BuiltFrom {
    bool valid = false;
    const MatchProfile *profile = nullptr;
    MinutiaeRecord record{};
    int result = 0;
  } aFrom, bFrom;

  MatchWorkspace() {
    for (SetContext *c : {&A, &B}) {
      c->distance2.assign(120 * 120, 0);
      c->cells.assign(120 * 120, PairCell{});
      c->pairs.reserve(2 * kMaxPairs);
      c->octants.reserve(kMaxMinutiae);
      c->sectorSlots.reserve(9 * kMaxMinutiae);
      c->octantSlots.reserve(8 * kMaxMinutiae);
    }
    for (auto &b : A.buckets) b.reserve(256);
    v.votes.assign(120 * 120, 0);
    v.weightedVotes.assign(120 * 120, 0);
    for (auto &s : v.support) s.assign(120 * 120, 0.0f);
    v.candidates.reserve(kMaxMatchCandidates);
    v.found.resize(kMaxFoundCandidates);
    list.reserve(kMaxCorrespondences);
    rescored.reserve(kMaxCorrespondences);
    m.Reset(kMaxCorrespondences);
    for (SetList *l : {&sets, &refined})
      for (auto &set : l->set) set.reserve(kMaxCorrespondences);
    for (auto &b : best) b.members.reserve(kMaxCorrespondences);
    members.reserve(kMaxCorrespondences);
    stack.reserve(kMaxCorrespondences);
    inSet.assign((kMaxCorrespondences + 63) / 64, 0);
    used.assign(kMaxCorrespondences, 0);
    flag.assign(120 * 120, 0);
    v.voted.reserve(120 * 120);
    cell.assign(120 * 120, -1);
  }
};

// Best set score (64-bit: the products overflow 32 bits on good matches).
// Unless the short return is taken, the best `keep` sets go to `sets`.
int GrowConsistentSets(const SetContext &A, const SetContext &B, const std::vector<Correspondence> &list,
                       MatchWorkspace &ws, SetList *sets, int keep) {
  Compat &m = ws.m;
  const int n = int(list.size());
  if (n > 1) BuildCompatibility(A, B, list, m);
  else m.Reset(n);
  const int words = m.words;
  // A linked pair is "full" when no neighbour linked to one end conflicts
  // with the other end.
  for (int i = 0; i < n; ++i)
    ForEachBitAbove(m.Row(m.linked, i), words, i, [&](int j) {
      const uint64_t *li = m.Row(m.linked, i), *lj = m.Row(m.linked, j);
      const uint64_t *ci = m.Row(m.conflict, i), *cj = m.Row(m.conflict, j);
      for (int k = 0; k < words; ++k)
        if ((li[k] & cj[k]) | (lj[k] & ci[k])) return;
      Compat::SetBits(m.full, size_t(words), i, j);
    });
  std::fill_n(ws.used.begin(), n, 0);
  for (SetResult &b : ws.best) {
    b.score = -1;
    b.members.clear();
  }
  std::vector<int> &members = ws.members, &stack = ws.stack;
  uint64_t *inSet = ws.inSet.data();
  for (int p = 0; p < n; ++p) {
    if (ws.used[size_t(p)]) continue;
    std::fill_n(inSet, words, 0);
    auto mark = [&](int q) { inSet[q / 64] |= uint64_t(1) << (q % 64); };
    members.assign(1, p);
    mark(p);
    ForEachBit(m.Row(m.full, p), words, [&](int q) {
      members.push_back(q);
      mark(q);
      ws.used[size_t(q)] = 1;
    });
    stack.assign(members.rbegin(), members.rend() - 1);
    stack.push_back(p);
    while (!stack.empty()) {
      const int cur = stack.back();
      stack.pop_back();
      // Links not yet in the set, a word at a time: a link joins only when
      // it is visited, and the visit goes up, so the word read ahead holds.
      const uint64_t *links = m.Row(m.linked, cur);
      for (int w = 0; w < words; ++w)
        for (uint64_t bits = links[w] & ~inSet[w]; bits; bits &= bits - 1) {
          const int q = w * 64 + __builtin_ctzll(bits);
          const uint64_t *cq = m.Row(m.conflict, q);
          uint64_t clash = 0;
          for (int k = 0; k < words; ++k) clash |= cq[k] & inSet[k];
          if (clash) continue;
          mark(q);
          members.push_back(q);
          stack.push_back(q);
        }
    }
    // Each member's weight times the weights of its links into the set.
    int64_t score = 0;
    for (int a : members) {
      int64_t row = 0;
      const uint64_t *la = m.Row(m.linked, a);
      const int16_t *wa = &m.w[size_t(a) * size_t(n)];
      for (int k = 0; k < words; ++k)
        for (uint64_t bits = la[k] & inSet[k]; bits; bits &= bits - 1) row += wa[k * 64 + __builtin_ctzll(bits)];
      score += int64_t(list[size_t(a)].weight) * row;
    }
    for (int k = 0; k < 4; ++k)
      if (ws.best[k].score < score) {
        // Rotate instead of copying, so that the member buffers are reused.
        for (int j = 3; j > k; --j) std::swap(ws.best[j], ws.best[j - 1]);
        ws.best[k].score = score;
        ws.best[k].members.assign(members.begin(), members.end());
        break;
      }
  }
  const int64_t o = std::max<int64_t>(0, ws.best[0].score);
  const int64_t P = int64_t(A.count) * B.count;
  if (sets) sets->count = 0;
  if (A.profile->setShortReturn && o / P <= 36863) return int(0.625 * std::sqrt(double(o) * 6.25 / double(P)));
  if (sets) {
    for (int k = 0; k < keep; ++k) {
      std::vector<Correspondence> &out = sets->set[k];
      out.clear();
      if (ws.best[k].score >= 0)
        for (int mm : ws.best[k].members) out.push_back(list[size_t(mm)]);
    }
    sets->count = keep;
  }
  return int(std::min<int64_t>(int64_t(double(o) * 0.0625 + 0.5), 0x70000000));
}

// Flags the voted cells that agree with the set and clears those that clash
// (whatever they held before); false when none was cleared.
// A cell clashes when it shares a row or column with a member, disagrees with
// a member in length or angle, or disagrees too much with the member nearest
// in B; members themselves stay.
bool PruneInconsistentVotes(const SetContext &A, const SetContext &B, const std::vector<Correspondence> &set,
                            const VoteState &v, std::vector<uint8_t> &flag) {
  constexpr uint8_t kMember = 2;  // set below, put back to 1 as each cell is passed
  // Rows of B and columns of A the set holds: a cell in one clashes whatever
  // the other members say.
  uint8_t rowHeld[kMaxMinutiae] = {}, columnHeld[kMaxMinutiae] = {};
  for (const Correspondence &c : set) {
    const size_t cell = size_t(c.b) * 120 + c.a;
    if (v.votes[cell] != 0) flag[cell] = kMember;
    rowHeld[c.b] = columnHeld[c.a] = 1;
  }
  const std::vector<VotedCell> &voted = v.voted;
  bool cleared = false;
  for (const VotedCell &cell : voted) {
    const int b = cell.b, a = cell.a;
    uint8_t &f = flag[size_t(b) * 120 + a];
    if (f == kMember) {
      f = 1;
      continue;
    }
    const PairCell *rowA = &A.cells[size_t(a) * 120], *rowB = &B.cells[size_t(b) * 120];
    bool clash = rowHeld[b] | columnHeld[a];
    int nearest = -1, nearestG = 0, nearLen = 0, nearAng = 0;
    for (size_t k = 0; k < set.size() && !clash; ++k) {
      const Correspondence &c = set[k];
      const PairCell ca = rowA[c.a], cb = rowB[c.b];
      const int gA = ca.length, gB = cb.length;
      const int dl = std::abs(gA - gB);
      const int d1 = std::abs(Signed8(cb.rel - ca.rel)), d2 = std::abs(Signed8(cb.relBack - ca.relBack));
      if (dl > (gA + gB + 8) / 16 + 17 || d1 > 34 || d2 > 34) {
        clash = true;
        break;
      }
      if (gB > 10 && (nearest < 0 || gB < nearestG)) {
        nearest = c.b;
        nearestG = gB;
        nearLen = dl;
        nearAng = std::max(d1, d2);
      }
    }
    if (!clash && nearest >= 0 && (nearLen > 16 || nearAng > 32)) clash = true;
    f = !clash;
    cleared |= clash;
  }
  return cleared;
}

// The flagged cells that are best in both their row and their column.
void MutualBestCells(const SetContext &A, const SetContext &B, VoteState &v, const std::vector<VotedCell> &voted,
                     const std::vector<uint8_t> &flag, std::vector<Correspondence> &out) {
  int bestRow[kMaxMinutiae], bestCol[kMaxMinutiae];
  std::fill_n(bestRow, A.count, -1);
  std::fill_n(bestCol, B.count, -1);
  for (const VotedCell &cell : voted) {
    const int b = cell.b, a = cell.a;
    if (!flag[size_t(b) * 120 + a]) continue;
    const int value = v.Vote(b, a);
    if (bestRow[a] < 0 || value > v.Vote(bestRow[a], a)) bestRow[a] = b;
    if (bestCol[b] < 0 || value > v.Vote(b, bestCol[b])) bestCol[b] = a;
  }
  out.clear();
  for (int b = 0; b < B.count; ++b) {
    const int a = bestCol[b];
    if (a >= 0 && bestRow[a] == b) out.push_back({int16_t(b), int16_t(a), v.Weighted(b, a)});
  }
}

// Mid-range results: regrow each kept set from the votes that agree with it.
int RefineMatchScore(const SetContext &A, const SetContext &B, VoteState &v, MatchWorkspace &ws, int t) {
  SetList &sets = ws.sets;
  std::vector<uint8_t> &flag = ws.flag;
  // The cells that still hold a vote, row by row; flags are written and
  // read only there.
  std::vector<VotedCell> &voted = v.voted;
  size_t count = 0;
  for (const VotedCell cell : voted) {
    voted[count] = cell;
    count += v.Vote(cell.b, cell.a) != 0;
  }
  voted.resize(count);
  for (int k = 0; k < sets.count; ++k) {
    std::vector<Correspondence> &set = sets.set[k];
    if (set.empty()) break;
    if (!PruneInconsistentVotes(A, B, set, v, flag)) break;
    MutualBestCells(A, B, v, voted, flag, set);
    if (set.empty()) break;
    const int score = GrowConsistentSets(A, B, set, ws, &ws.refined, 1);
    if (score > t) {
      t = score;
      if (ws.refined.count > 0) sets.set[0] = ws.refined.set[0];
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
                      MatchWorkspace &ws, int t) {
  Compat &m = ws.m;
  const MatchProfile &p = *A.profile;
  int64_t E, P;
  ScoreScale(A, B, p.penalties, E, P);
  const double root = std::sqrt(double(E) * t / double(P));
  const int S = p.doubleScale ? int(root * 0.625 + 0.5) : int(float(root) * 0.625f + 0.5f);
  if (S < 100 || S < p.rescoreLow || S >= p.rescoreHigh) return S;
  const int n = int(list.size());
  if (n <= 1) return S;
  std::vector<int> &cell = ws.cell;
  for (int i = 0; i < n; ++i) cell[size_t(list[size_t(i)].b) * 120 + list[size_t(i)].a] = i;
  for (const MatchCandidate &c : v.candidates) {
    const PairDescriptor &s = A.pairs[size_t(c.aDesc)], &q = B.pairs[size_t(c.bDesc)];
    const int ni = cell[size_t(q.nearIdx) * 120 + s.nearIdx], fi = cell[size_t(q.farIdx) * 120 + s.farIdx];
    if (ni < 0 || fi < 0) continue;
    const int add = int(std::floor(float(c.turnScore) * (v.Support(0, q.farIdx, s.farIdx) + v.Support(0, q.nearIdx, s.nearIdx))));
    list[size_t(ni)].weight += add;
    list[size_t(fi)].weight += add;
  }
  for (const Correspondence &c : list) cell[size_t(c.b) * 120 + c.a] = -1;
  BuildCompatibility(A, B, list, m);
  double Q = 0;
  for (int i = 0; i < n; ++i) {
    int64_t row = 0;
    ForEachBit(m.Row(m.linked, i), m.words, [&](int j) { row += m.W(i, j); });
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

namespace {

WorkspacePool<MatchWorkspace> g_workspaces;

// buildTemplateContext, unless ctx was last built from the same minutiae
// under the same profile.
int BuildOnce(SetContext &ctx, MatchWorkspace::BuiltFrom &from, const MinutiaeRecord &rec, const MatchProfile &profile,
              bool indexed) {
  const size_t used = sizeof(Minutia) * std::min<size_t>(rec.count, kMaxMinutiae);
  ctx.profile = &profile;
  if (from.valid && from.profile == &profile && from.record.count == rec.count &&
      std::memcmp(from.record.minutiae, rec.minutiae, used) == 0) {
    ctx.record = &rec;
    return from.result;
  }
  from.valid = false;
  from.result = buildTemplateContext(ctx, rec, indexed);
  from.profile = &profile;
  from.record.count = rec.count;
  std::memcpy(from.record.minutiae, rec.minutiae, used);
  from.valid = true;
  return from.result;
}

int MatchInWorkspace(MatchWorkspace &ws, const MinutiaeRecord &recA, const MinutiaeRecord &recB,
                     const MatchProfile &profile) {
  SetContext &A = ws.A, &B = ws.B;
  if (BuildOnce(A, ws.aFrom, recA, profile, true) == 0) return 0;
  if (BuildOnce(B, ws.bFrom, recB, profile, false) == 0) return 0;
  VoteState &v = ws.v;
  clearVoteCells(v.votes, B.count, A.count);
  clearVoteCells(v.weightedVotes, B.count, A.count);
  if (matchPairDescriptors(A, B, v) == 0) return 0;
  if (voteAlignments(B, A, v) <= 0) return 0;
  std::vector<Correspondence> &list = ws.list;
  if (collectCorrespondences(A, B, v, list) == 0) return 0;
  int t = GrowConsistentSets(A, B, list, ws, &ws.sets, 4);
  const MatchProfile &p = *A.profile;
  if (p.refineAnyScore || t > 184) {
    int64_t k, s;
    ScoreScale(A, B, false, k, s);
    const int M = int(0.625 * std::sqrt(double(t) * double(k) / double(s)) + 0.5);
    if (M > p.refineLow && M < p.refineHigh) t = RefineMatchScore(A, B, v, ws, t);
  }
  if (p.rescoreBestSet) {
    ws.rescored.clear();
    if (ws.sets.count > 0) ws.rescored = ws.sets.set[0];
    return ComputeMatchScore(A, B, ws.rescored, v, ws, t);
  }
  // Scaled whatever t is, so that scores rise monotonically with t.
  return ComputeMatchScore(A, B, list, v, ws, t);
}

}  // namespace

int matchMinutiaeSets(const MinutiaeRecord &recA, const MinutiaeRecord &recB, const MatchProfile &profile) {
  const auto lease = g_workspaces.Acquire();
  MatchWorkspace *ws = lease.get();
  if (!ws) return kMatchNoMemory;
  try {
    return MatchInWorkspace(*ws, recA, recB, profile);
  } catch (const std::bad_alloc &) {
    // A table that had to grow past its first size; what it holds stays valid.
    return kMatchNoMemory;
  }
}

namespace {

float ScaledScore(int raw) {
  if (raw <= 0) return 0.0f;
  const float s = float(raw) * 0.0016276041f;
  return s > 1.0f ? 1.0f : s;
}

}  // namespace

float scoreMinutiaeSets(const MinutiaeRecord *a, const MinutiaeRecord *b) {
  if (!a || !b) return 0.0f;
  return ScaledScore(matchMinutiaeSets(*a, *b));
}

int matchFTemplates(const uint8_t *t1, const uint8_t *t2, float *score) {
  if (!t1 || !t2 || !score || t1[0] != 0x46 || t2[0] != 0x46) return -1;
  MinutiaeRecord a{}, b{};
  unpackFTemplate(t1, a);
  unpackFTemplate(t2, b);
  const int raw = matchMinutiaeSets(a, b);
  *score = ScaledScore(raw);
  // Score 0 here would read as a rejected match.
  return raw == kMatchNoMemory ? kMatchNoMemory : 1;
}

}  // namespace minutiae
