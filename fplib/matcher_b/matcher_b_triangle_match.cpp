#include <algorithm>

#include "matcher_b_alignment.h"

namespace fplib {

namespace {

// Circular gap of two angle steps from their difference d, |d| <= 72.
constexpr struct StepGapTable {
  uint8_t gap[145];
  constexpr StepGapTable() : gap() {
    for (int d = -72; d <= 72; ++d) {
      const int r = (d % 72 + 72) % 72;
      gap[d + 72] = uint8_t(r > 36 ? 72 - r : r);
    }
  }
} kStepGaps;
int StepGap(int d) { return kStepGaps.gap[d + 72]; }

struct SideB {
  int dir, dist;
};

bool Side(const PointB &from, const PointB &to, SideB &out) {
  SideGeometryB g{};
  if (!pairGeometryB(from, to, kGeoDirection | kGeoLength, g)) return false;
  out = {g.direction, g.length};
  return true;
}

void KeepCandidate(TriangleB &t, const TriangleCandidate &c) {
  if (t.candidates.size() < size_t(kMaxTriangleCandidates)) {
    t.candidates.push_back(c);
    return;
  }
  size_t worst = 0;
  for (size_t i = 1; i < t.candidates.size(); ++i)
    if (t.candidates[i].cost > t.candidates[worst].cost) worst = i;
  if (c.cost < t.candidates[worst].cost) t.candidates[worst] = c;
}

}  // namespace

void TriangleShift(const MatcherBSearch &s, const TriangleB &t, const TriangleCandidate &c, int r, int &dx,
                   int &dy) {
  const PointB *a = s.A().points, *b = s.B().points;
  const int mx = (a[t.p1].x + a[t.p2].x + a[t.p3].x) / 3, my = (a[t.p1].y + a[t.p2].y + a[t.p3].y) / 3;
  const int sx = (b[c.c0].x + b[c.c1].x + b[c.c2].x) / 3, sy = (b[c.c0].y + b[c.c1].y + b[c.c2].y) / 3;
  int xr, yr;
  RotatePoint(mx, my, r, xr, yr);
  dx = xr - sx;
  dy = yr - sy;
}

int matchTrianglesB(MatcherBSearch &s) {
  MatcherBContext &ctx = s.first;
  const PointB *A = s.A().points, *B = s.B().points;
  const PairGridB &grid = s.second.grid;
  if (ctx.triangles.empty() || grid.cellStart.empty()) return 0;
  const PairScanB *scan = grid.scan.data();
  const uint16_t *cellStart = grid.cellStart.data();
  for (TriangleB &t : ctx.triangles) {
    t.candidates.clear();
    const int tAB = TolLen(t.lenAB), tAC = TolLen(t.lenAC), tCB = TolLen(t.lenCB);
    const int m = TolSide(t.lenAB), mAC = TolSide(t.lenAC);
    const int r0 = t.lenAB - tAB < 2 ? 3 : t.lenAB - tAB + 1;
    const int r1 = t.lenAB + tAB < 27 ? t.lenAB + tAB - 1 : 25;
    SideB ab, ac, cb;
    if (!Side(A[t.p2], A[t.p1], ab) || !Side(A[t.p3], A[t.p1], ac) || !Side(A[t.p3], A[t.p2], cb)) continue;
    const PointB &p1 = A[t.p1], &p2 = A[t.p2], &p3 = A[t.p3];
    const int vLimit = 5 * tAB + (5 * tAC) / 2 + 12;
    const int zLimit = 5 * tAB + (5 * tAC) / 2 + (5 * tCB) / 2 + 10;
    const int hLo = std::max(2, t.lenAC - tAC), hHi = std::min(26, t.lenAC + tAC);
    const int listLo = std::min(hLo, kListRowSlots - 1);  // rows beyond the grid hold nothing
    const int cbLo = std::max(2, t.lenCB - tCB), cbHi = std::min(26, t.lenCB + tCB);
    const int limR = TolDir(t.lenAB) + 10, limW = TolDir(t.lenAC), limX = TolDir(t.lenCB) + 15;
    const int turnBA = Mod360(p1.angle - t.sideBA);
    // One item of a cell near the triangle's first side, then the second
    // sides its from-point offers.
    auto item = [&](const PairScanB &e) __attribute__((always_inline)) {
      const int u = e.from, w = e.to;
      const int rw = Wrap180Near(e.angle + turnBA - e.fromAngle);
      const int rB = Wrap180Near(p1.angle - e.fromAngle), rD = Wrap180Near(p2.angle - e.toAngle);
      // All tests at once: most items fail one, and which one is random.
      // rw - rB is e.angle - sideBA turned, so the first test (m <= 55)
      // covers their gap; with all three within 90 the other gaps need no
      // folding.
      const bool pass = (FoldNear(e.angle - t.sideBA) < m) & (Abs(rw) <= 90) & (Abs(rB) <= 90) & (Abs(rD) <= 90) &
                        (Abs(rB - rD) <= 30) & (Abs(rD - rw) <= 55);
      if (!pass) return;
      SideB wu;
      if (!Side(B[w], B[u], wu)) return;
      const std::vector<PairRefB> &refs = s.second.pairLists[size_t(u)];
      const uint8_t *rows = &grid.listRowStart[size_t(u) * kListRowSlots];
      const PairRefB *ref = refs.data() + rows[listLo], *refEnd = refs.data() + rows[hHi + 1];
      for (; ref < refEnd; ++ref) {
        const int cd = StepGap(ref->column - t.turnAC);
        const int o = ref->from;
        const bool near = (cd <= 6) & (Abs(ref->row - t.lenAC) + cd <= 8) & (FoldNear(ref->angle - t.sideAC) < mAC) &
                          (o != w);
        if (!near) continue;
        SideGeometryB ow{};
        if (!pairGeometryB(B[o], B[w], kGeoDirection | kGeoLength | kGeoAngleDiff, ow)) continue;
        const int owStep = StepOf(ow.length);
        if (owStep < cbLo || owStep > cbHi || StepGap(StepOf(ow.angleDiff) - t.turnCB) > 6) continue;
        int e3 = Mod360(p3.angle - B[o].angle);
        if (e3 > 180) e3 -= 360;
        const int rho = ((e3 + rB + rD) * 10922 + 16384) >> 15;
        const int R = FoldNear(rho + wu.dir - ab.dir);
        if (R > limR) continue;
        SideB ou;
        if (!Side(B[o], B[u], ou)) continue;
        const int V = Abs(wu.dist - ab.dist) + Abs(ou.dist - ac.dist);
        if (V > vLimit) continue;
        const int W = FoldNear(rho + ou.dir - ac.dir);
        if (W > limW || R + W > 75) continue;
        const int Z = V + Abs(ow.length - cb.dist);
        if (Z > zLimit) continue;
        const int X = FoldNear(rho + ow.direction - cb.dir);
        if (X > limX || R + W + X >= 96) continue;
        if (t.candidates.size() < size_t(kMaxTriangleCandidates)) ++ctx.candidateTotal;
        KeepCandidate(t, {u, w, o, 1, rho, R + W + X + Z});
      }
    };
    for (int g = r0; g < r1; ++g) {
      const int h = Abs(g - t.lenAB);
      if (h > 8) continue;
      // Columns turnAB - 5 .. turnAB + 4, narrowed to 8 - h on either side:
      // one run of cells, or two where it wraps past column 71.
      const int before = std::min(5, 8 - h), after = std::min(4, 8 - h);
      const int c0 = Mod72(t.turnAB - before), span = before + after + 1;
      const uint16_t *row = cellStart + size_t(g) * size_t(kGridStride);
      const int firstEnd = std::min(c0 + span, kGridColumns);
      const int runs[2][2] = {{row[c0], row[firstEnd]}, {row[0], row[std::max(0, c0 + span - kGridColumns)]}};
      for (const auto &run : runs)
        for (int k = run[0]; k < run[1]; ++k) item(scan[k]);
    }
  }
  return 1;
}

}  // namespace fplib
