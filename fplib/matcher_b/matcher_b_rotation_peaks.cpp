#include <cstdint>

#include "matcher_b_alignment.h"

namespace fplib {

namespace {

constexpr int kSpan = 181;  // rotations -90..90

// Each triangle's candidate rotations as a bit set over -100..100 (the
// widest window looked at), and the candidates per rotation: the window
// counts then come from masks and sums instead of walks over every
// candidate.
constexpr int kLowRotation = -100, kRotations = 201;

struct RotationSets {
  // The search's scratch (GroupingScratchB::rotationBits): words 1..4 hold
  // the rotations; words 0 and 5 stay clear, so that a 64-bit read starting
  // anywhere in -164..155 needs no bounds test.
  uint64_t (*bits)[6];
  int triangles = 0;
  int perRotation[kRotations] = {};

  // 64 bits of every triangle from rotation `from` on (rotations outside
  // -100..100 read as absent) go to f(t, bits).
  template <class F>
  void ForEachFrom(int from, F f) const {
    const int pos = from - kLowRotation + 64, word = pos / 64, shift = pos % 64;
    for (int t = 0; t < triangles; ++t)
      f(t, (bits[t][word] >> shift) | ((bits[t][word + 1] << 1) << (63 - shift)));
  }
  // Triangles with a candidate in [lo, hi] (at most 64 wide).
  int TrianglesIn(int lo, int hi) const {
    const uint64_t mask = hi - lo >= 63 ? ~uint64_t(0) : (uint64_t(1) << (hi - lo + 1)) - 1;
    int n = 0;
    ForEachFrom(lo, [&](int, uint64_t u) { n += (u & mask) != 0; });
    return n;
  }
  int CandidatesIn(int lo, int hi) const {
    int n = 0;
    for (int r = lo; r <= hi; ++r) n += perRotation[r - kLowRotation];
    return n;
  }
};

void MakeRotationSets(const MatcherBSearch &s, RotationSets &rs) {
  for (const TriangleB &t : s.first.triangles) {
    uint64_t *w = rs.bits[rs.triangles];
    w[0] = w[1] = w[2] = w[3] = w[4] = w[5] = 0;
    for (const TriangleCandidate &c : t.candidates) {
      const int i = c.rotation - kLowRotation;
      if (i < 0 || i >= kRotations) continue;
      w[1 + i / 64] |= uint64_t(1) << (i % 64);
      ++rs.perRotation[i];
    }
    rs.triangles += (w[1] | w[2] | w[3] | w[4]) != 0;
  }
}

// One plateau end: walk while tri equals v, bridging single differing
// indexes.
int PlateauEnd(const int *tri, int from, int step, int limit, int v) {
  int end = from;
  for (int i = from + step; step > 0 ? i <= limit : i >= limit;) {
    if (tri[i] == v) {
      end = i;
      i += step;
    } else if ((step > 0 ? i + step <= limit : i + step >= limit) && tri[i + step] == v) {
      end = i + step;
      i += 2 * step;
    } else {
      break;
    }
  }
  return end;
}

void AddRow(RotationTableB &table, int l, int k, int j) {
  for (RotationRowB &row : table.rows)
    if (Abs(row.rotation - l) < 2) {
      if (k > row.triangles || (k == row.triangles && j > row.candidates)) {
        row.rotation = l;
        row.triangles = k;
        row.candidates = j;
      }
      return;
    }
  for (RotationRowB &row : table.rows)
    if (Abs(row.rotation - l) == 2) {
      row.rotation = (row.rotation + l) / 2;
      return;
    }
  size_t at = 0;
  while (at < table.rows.size() && (table.rows[at].triangles > k ||
                                    (table.rows[at].triangles == k && table.rows[at].candidates >= j)))
    ++at;
  if (at >= 4) return;  // would drop out at once
  RotationRowB &row = table.rows.insert(at);
  row.rotation = l;
  row.triangles = k;
  row.candidates = j;
}

}  // namespace

void findRotationPeaks(const MatcherBSearch &s, RotationTableB &table) {
  int tri[kSpan] = {}, win[kSpan] = {}, exact[kSpan] = {};
  bool used[kSpan] = {}, cleared[kSpan] = {};
  RotationSets sets{s.grouping.rotationBits};
  MakeRotationSets(s, sets);
  // Every rotation b in -89..89 not yet inside an earlier one's window
  // counts the candidates and triangles within 12 of it.
  for (const TriangleB &t : s.first.triangles)
    for (const TriangleCandidate &c : t.candidates) {
      const int b = c.rotation;
      if (b < -89 || b > 89 || used[b + 90] || tri[b + 90] != 0) continue;
      const int lo = b - 12 < -89 ? -89 : b - 12, hi = b + 12 > 89 ? 89 : b + 12;
      exact[b + 90] = sets.perRotation[b - kLowRotation];
      win[b + 90] = sets.CandidatesIn(lo, hi);
      tri[b + 90] = sets.TrianglesIn(lo, hi);
      for (int r = lo; r <= hi; ++r) used[r + 90] = used[r + 90] || sets.perRotation[r - kLowRotation] > 0;
    }
  int peaks[4], peakCount = 0;
  for (; peakCount < 4; ++peakCount) {
    int p = -1;
    for (int i = 0; i < kSpan; ++i) {
      if (tri[i] <= 0 || cleared[i]) continue;
      if (p < 0 || tri[i] > tri[p] || (tri[i] == tri[p] && win[i] > win[p])) p = i;
    }
    if (p < 0) break;
    const int right = PlateauEnd(tri, p, 1, 179, tri[p]);
    const int left = PlateauEnd(tri, p, -1, 1, tri[p]);
    const int lo = left - 12 < 0 ? 0 : left - 12, hi = right + 12 > 180 ? 180 : right + 12;
    int sum = 0, weight = 0;
    for (int i = lo; i <= hi; ++i) {
      cleared[i] = true;
      if (win[i] > 0) {
        sum += i * exact[i];
        weight += exact[i];
      }
    }
    peaks[peakCount] = weight > 0 ? sum / weight : -1;
  }
  table.rows.clear();
  for (int q = 0; q < peakCount && table.rows.size() < 4; ++q) {
    if (peaks[q] < 0) continue;
    // Windows l - 5..l + 5 for the nine l: each triangle's bits over the
    // whole span are read once.
    const int first = peaks[q] - 94;
    int tk[9] = {};
    sets.ForEachFrom(first - 5, [&](int, uint64_t u) {
      for (int i = 0; i < 9; ++i) tk[i] += ((u >> i) & 0x7FF) != 0;
    });
    int bestL = 0, bestK = -1, bestJ = -1;
    for (int l = first; l <= peaks[q] - 86; ++l) {
      const int k = tk[l - first], j = sets.CandidatesIn(l - 5, l + 5);
      if (k > bestK || (k == bestK && j > bestJ)) {
        bestL = l;
        bestK = k;
        bestJ = j;
      }
    }
    if (bestK >= 2) AddRow(table, bestL, bestK, bestJ);
  }
}

}  // namespace fplib
