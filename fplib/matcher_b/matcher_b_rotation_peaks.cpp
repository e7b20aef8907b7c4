#include "matcher_b_alignment.h"

namespace fplib {

namespace {

constexpr int kSpan = 181;  // rotations -90..90

// Triangles and candidates with a rotation in [lo, hi].
void CountInWindow(const MatcherBSearch &s, int lo, int hi, int &tris, int &cands) {
  tris = cands = 0;
  for (const TriangleB &t : s.first.triangles) {
    bool any = false;
    for (const TriangleCandidate &c : t.candidates)
      if (c.rotation >= lo && c.rotation <= hi) {
        ++cands;
        any = true;
      }
    tris += any;
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
  RotationRowB row;
  row.rotation = l;
  row.triangles = k;
  row.candidates = j;
  table.rows.insert(table.rows.begin() + long(at), row);
  if (table.rows.size() > 4) table.rows.resize(4);
}

}  // namespace

void findRotationPeaks(const MatcherBSearch &s, RotationTableB &table) {
  int tri[kSpan] = {}, win[kSpan] = {}, exact[kSpan] = {};
  bool used[kSpan] = {}, cleared[kSpan] = {};
  const auto &tris = s.first.triangles;
  for (const TriangleB &t : tris)
    for (const TriangleCandidate &c : t.candidates) {
      const int b = c.rotation;
      if (b < -89 || b > 89 || used[b + 90] || tri[b + 90] != 0) continue;
      for (const TriangleB &t2 : tris) {
        bool any = false;
        for (const TriangleCandidate &c2 : t2.candidates) {
          const int r = c2.rotation;
          if (r < -89 || r > 89 || r < b - 12 || r > b + 12) continue;
          exact[b + 90] += r == b;
          ++win[b + 90];
          any = true;
          used[r + 90] = true;
        }
        tri[b + 90] += any;
      }
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
    int bestL = 0, bestK = -1, bestJ = -1;
    for (int l = peaks[q] - 94; l <= peaks[q] - 86; ++l) {
      int k, j;
      CountInWindow(s, l - 5, l + 5, k, j);
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
