#include <algorithm>

#include "matcher_b_alignment.h"

namespace fplib {

namespace {

int CircularStepGap(int a, int b) {
  const int d = Mod72(a - b);
  return d > 36 ? 72 - d : d;
}

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
  if (ctx.triangles.empty() || grid.cells.empty()) return 0;
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
    const int cbLo = std::max(2, t.lenCB - tCB), cbHi = std::min(26, t.lenCB + tCB);
    for (int g = r0; g < r1; ++g) {
      const int h = Abs(g - t.lenAB);
      if (h > 8) continue;
      for (int i = -5; i <= 4; ++i) {
        if (Abs(i) > 8 - h) continue;
        const int col = Mod72(t.turnAB + i);
        for (const PairItemB &e : grid.at(g, col)) {
          const int u = e.from, w = e.to;
          if (Fold(e.angle - t.sideBA) >= m) continue;
          const int rw = Wrap180(e.angle + Mod360(p1.angle - t.sideBA) - B[u].angle);
          const int rB = Wrap180(p1.angle - B[u].angle), rD = Wrap180(p2.angle - B[w].angle);
          if (Abs(rw) > 90 || Abs(rB) > 90 || Abs(rD) > 90) continue;
          if (Fold(rB - rD) > 30 || Fold(rB - rw) > 55 || Fold(rD - rw) > 55) continue;
          SideB wu;
          if (!Side(B[w], B[u], wu)) continue;
          // The list rises by row: start at the first row in range.
          const std::vector<PairRefB> &refs = s.second.pairLists[size_t(u)];
          const auto from = std::partition_point(refs.begin(), refs.end(), [&](const PairRefB &r) { return r.row < hLo; });
          for (auto it = from; it != refs.end(); ++it) {
            const PairRefB &ref = *it;
            if (ref.row > hHi) break;
            const int cd = CircularStepGap(ref.column, t.turnAC);
            if (cd > 6 || Abs(ref.row - t.lenAC) + cd > 8) continue;
            const int o = ref.from;
            if (Fold(ref.angle - t.sideAC) >= mAC || o == w) continue;
            SideGeometryB ow{};
            if (!pairGeometryB(B[o], B[w], kGeoDirection | kGeoLength | kGeoAngleDiff, ow)) continue;
            const int owStep = StepOf(ow.length);
            if (owStep < cbLo || owStep > cbHi || CircularStepGap(StepOf(ow.angleDiff), t.turnCB) > 6) continue;
            int e3 = Mod360(p3.angle - B[o].angle);
            if (e3 > 180) e3 -= 360;
            const int rho = ((e3 + rB + rD) * 10922 + 16384) >> 15;
            const int R = Fold(rho + wu.dir - ab.dir);
            if (R > TolDir(t.lenAB) + 10) continue;
            SideB ou;
            if (!Side(B[o], B[u], ou)) continue;
            const int V = Abs(wu.dist - ab.dist) + Abs(ou.dist - ac.dist);
            if (V > vLimit) continue;
            const int W = Fold(rho + ou.dir - ac.dir);
            if (W > TolDir(t.lenAC) || R + W > 75) continue;
            const int Z = V + Abs(ow.length - cb.dist);
            if (Z > zLimit) continue;
            const int X = Fold(rho + ow.direction - cb.dir);
            if (X > TolDir(t.lenCB) + 15 || R + W + X >= 96) continue;
            if (t.candidates.size() < size_t(kMaxTriangleCandidates)) ++ctx.candidateTotal;
            KeepCandidate(t, {u, w, o, 1, rho, R + W + X + Z});
          }
        }
      }
    }
  }
  return 1;
}

}  // namespace fplib
