#include <algorithm>

#include "match_tables.h"
#include "matcher_b_pairing.h"

namespace fplib {

namespace {

// Cells 0..49 on either axis are probed, up to three rings around a
// centre up to three cells outside; the index keeps six empty cells on each
// side so that no probe needs a bounds test.
constexpr int kCellProbeSide = 50;
constexpr int kProbeRings = 3;
constexpr int kProbePad = 2 * kProbeRings;
constexpr int kProbeStride = kCellProbeSide + 2 * kProbePad;
constexpr int kRingProbes = 2 * kProbeRings * (kProbeRings + 1);

// Index offsets of the ring probes in the order they are tried: ring by
// ring, from the largest first-axis offset down, the four sign pairs in turn.
struct RingProbes {
  int offset[kRingProbes];
  constexpr RingProbes() : offset() {
    int at = 0;
    for (int i = 1; i <= kProbeRings; ++i)
      for (int n = i; n >= 0; --n) {
        const int m = i - n;
        const int probes[4][2] = {{n, m}, {n, -m}, {-n, -m}, {-n, m}};
        for (int k = 0; k < 4; ++k) {
          if ((k == 1 || k == 3) && n == i) continue;
          if (n == 0 && k >= 2) break;
          offset[at++] = probes[k][0] * kProbeStride + probes[k][1];
        }
      }
  }
};
constexpr RingProbes kRingOrder;

void InsertByCost(PairCandidatesB &pc, int t, int cost) {
  for (int i = 0; i < pc.count; ++i)
    if (pc.list[i].second == t) return;
  int at = pc.count;
  while (at > 0 && pc.list[at - 1].cost > cost) --at;
  if (at >= 3) return;
  const int last = pc.count < 3 ? pc.count : 2;
  for (int i = last; i > at; --i) pc.list[i] = pc.list[i - 1];
  pc.list[at] = CandidateB();
  pc.list[at].second = t;
  pc.list[at].cost = cost;
  if (pc.count < 3) ++pc.count;
}

}  // namespace

int CountWithCandidates(const MatcherBSearch &s) {
  int n = 0;
  for (int m = 0; m < s.A().count; ++m) n += s.candidates[size_t(m)].count > 0;
  return n;
}

void CompactCandidates(PairCandidatesB &pc) {
  int w = 0, chosen = -1;
  for (int i = 0; i < pc.count; ++i) {
    if (pc.list[i].similarity <= 0) continue;
    if (i == pc.chosen) chosen = w;
    pc.list[w++] = pc.list[i];
  }
  for (int i = w; i < 3; ++i) pc.list[i] = CandidateB();
  pc.count = w;
  pc.chosen = chosen >= 0 ? chosen : (w > 0 && pc.chosen >= 0 ? 0 : -1);
}

void buildSearchCellIndex(MatcherBSearch &s) {
  const size_t cells = size_t(kProbeStride) * kProbeStride;
  if (s.cellIndex.size() != cells) {
    s.cellIndex.assign(cells, -1);
  } else {
    for (int i = 0; i < s.filledCount; ++i) s.cellIndex[size_t(s.filledCells[i])] = -1;
  }
  s.filledCount = 0;
  const PointSetB &B = s.B();
  for (int t = 0; t < B.count; ++t) {
    const PointB &p = B.points[t];
    // Negative positions have no cell.
    if (p.x < 0 || p.y < 0) continue;
    const int cx = p.x / 20, cy = p.y / 20;
    if (cx >= kCellProbeSide || cy >= kCellProbeSide) continue;
    const size_t at = size_t(cx + kProbePad) * kProbeStride + size_t(cy + kProbePad);
    int &cell = s.cellIndex[at];
    if (cell < 0) {
      s.filledCells[s.filledCount++] = int(at);
    } else {
      const PointB &o = B.points[cell];
      const int mx = cx * 20 + 10, my = cy * 20 + 10;
      if (VectorLength(Abs(p.x - mx), Abs(p.y - my)) >= VectorLength(Abs(o.x - mx), Abs(o.y - my))) continue;
    }
    cell = t;
  }
}

bool findNearbyCell(const MatcherBSearch &s, int x, int y, int &minutia, int &cls) {
  const int a = (x * 1638 + 16384) >> 15, b = (y * 1638 + 16384) >> 15;
  // Beyond three cells of the probed square every probe misses.
  if (a < -kProbeRings || b < -kProbeRings || a >= kCellProbeSide + kProbeRings || b >= kCellProbeSide + kProbeRings)
    return false;
  const int *at = s.cellIndex.data() + (a + kProbePad) * kProbeStride + (b + kProbePad);
  if (*at >= 0) {
    minutia = *at;
    cls = 0;
    return true;
  }
  for (int k = 0; k < kRingProbes; ++k)
    if (at[kRingOrder.offset[k]] >= 0) {
      minutia = at[kRingOrder.offset[k]];
      cls = 1;
      return true;
    }
  return false;
}

void collectPairCandidates(MatcherBSearch &s, const AlignmentB &al) {
  const PointSetB &A = s.A(), &B = s.B();
  const PairGridB &grid = s.second.grid;
  // MapPoint's turn, its sine and cosine read once for all points.
  const int cosR = CosDeg(al.rotation), sinR = SinDeg(al.rotation);
  for (int m = 0; m < A.count; ++m) {
    PairCandidatesB &pc = s.candidates[size_t(m)];
    pc.count = 0;
    int px, py;
    RotateBy(A.points[m].x, A.points[m].y, cosR, sinR, px, py);
    px -= al.dx;
    py -= al.dy;
    int f, cls;
    if (!findNearbyCell(s, px, py, f, cls)) continue;
    const auto &list = s.second.pairLists[size_t(f)];
    if (list.empty()) continue;
    const int turned = Mod360(A.points[m].angle - al.rotation);
    // The neighbours that pass are noted without a branch on them, then
    // ranked in the order they came.
    int nearPoint[kPairListSlots + 1], nearCost[kPairListSlots + 1], nearCount = 0;
    auto consider = [&](int t) {
      const PointB &q = B.points[t];
      const int u = Abs(px - q.x), v = Abs(py - q.y), e = FoldNear(turned - q.angle);
      // All tests at once: most neighbours fail one, and which one is random.
      nearPoint[nearCount] = t;
      nearCost[nearCount] = u + v + e;
      nearCount += (u <= 35) & (v <= 35) & (e <= 30) & (u + v <= 50) & (u + v + e <= 80);
    };
    consider(f);
    // Rows up to 16 (20 from a ring cell); the list's last entry is never
    // examined. A neighbour in row r lies more than 5r from f, so beyond
    // row (|f - p| + 50) / 5 it is more than 50 from p and cannot pass.
    int lastRow = cls == 0 ? 16 : 20;
    const int fx = Abs(B.points[f].x - px), fy = Abs(B.points[f].y - py);
    if (fx < kGeometrySpan && fy < kGeometrySpan) lastRow = std::min(lastRow, (VectorLength(fx, fy) + 50) / 5);
    const int rowEnd = grid.listRowStart[size_t(f) * kListRowSlots + size_t(lastRow + 1)];
    const int end = std::min(rowEnd, int(list.size()) - 1);
    for (int k = 0; k < end; ++k) consider(list[size_t(k)].from);
    for (int q = 0; q < nearCount; ++q) InsertByCost(pc, nearPoint[q], nearCost[q]);
    for (int i = 0; i < pc.count; ++i)
      pc.list[i].similarity = pairSimilarityAt(s, m, pc.list[i].second, px, py, al.rotation, true, nullptr);
  }
}

}  // namespace fplib
