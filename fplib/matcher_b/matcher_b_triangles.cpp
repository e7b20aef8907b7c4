#include <algorithm>
#include <numeric>

#include "matcher_b_context.h"

namespace fplib {

namespace {

struct NearCandidate {
  int rowGap, lengthGap, point;
};

bool HasTriple(const std::vector<TriangleB> &tris, int a, int b, int c) {
  for (const auto &t : tris)
    if (t.p1 == a && t.p2 == b && t.p3 == c) return true;
  return false;
}

void AddTriangle(std::vector<TriangleB> &tris, int a, int b, int c) {
  TriangleB t;
  t.p1 = a;
  t.p2 = b;
  t.p3 = c;
  tris.push_back(std::move(t));
}

// Side fields of one finished triangle from its vertices; 0 when a side is
// beyond the tables.
int FillTriangleSides(const PointSetB &ps, TriangleB &t) {
  const PointB &a = ps.points[t.p1], &b = ps.points[t.p2], &c = ps.points[t.p3];
  SideGeometryB g{};
  if (!pairGeometryB(b, a, 14, g)) return 0;
  t.lenAB = StepOf(g.length);
  t.turnAB = StepOf(g.angleDiff);
  t.sideBA = g.angleToSide;
  if (!pairGeometryB(a, c, 14, g)) return 0;
  t.lenAC = StepOf(g.length);
  t.turnAC = StepOf(g.angleDiff);
  t.sideAC = g.angleToSide;
  if (!pairGeometryB(c, b, 14, g)) return 0;
  t.lenCB = StepOf(g.length);
  t.turnCB = StepOf(g.angleDiff);
  t.sideCB = g.angleToSide;
  return 1;
}

bool NearlyParallel(int v) { return v < 3 || v > 69 || (v >= 34 && v <= 38); }

}  // namespace

int buildTrianglesNear(MatcherBContext &ctx) {
  const PointSetB &ps = *ctx.points;
  std::vector<int> used(size_t(ps.count), 0);
  std::vector<NearCandidate> cands;
  ctx.triangles.clear();
  // Each point's items in the order a scan of the grid meets them, so that
  // the search for a third point reads only the items that start at it.
  ctx.fromLists.resize(size_t(kMaxPointsB));
  for (auto &l : ctx.fromLists) l.clear();
  for (int r = 0; r < kGridRows; ++r)
    for (int c = 0; c < kGridColumns; ++c) {
      const auto &cell = ctx.grid.at(r, c);
      for (size_t k = 0; k < cell.size(); ++k)
        ctx.fromLists[size_t(cell[k].from)].push_back({r, c, int(k), cell[k].from, cell[k].angle});
    }
  for (int j = 4; j <= 20; ++j)
    for (int k = 5; k <= 66; ++k) {
      const auto &cell = ctx.grid.at(j, k);
      for (const PairItemB &item : cell) {
        const int a = item.from, b = item.to;
        if (b < a) continue;
        cands.clear();
        const int rEnd = j >= 20 ? 20 : j + 6;
        const int rStart = std::max(3, j - 7);
        for (const PairRefB &ref : ctx.fromLists[size_t(a)]) {
          if (ref.row < rStart) continue;
          if (ref.row > rEnd) break;
          const int r = ref.row, to = RefItem(ctx, ref).to;
          if (to <= b || cands.size() >= size_t(kMaxPointsB)) continue;
          SideGeometryB g{};
          pairGeometryB(ps.points[to], ps.points[b], kGeoLength, g);
          const int step = StepOf(g.length);
          if (step <= 21) cands.push_back({Abs(r - j), Abs(step - j), to});
        }
        for (;;) {
          int key = 255, pick = -1;
          for (size_t q = 0; q < cands.size(); ++q)
            if (cands[q].rowGap < key || cands[q].lengthGap < key) {
              pick = int(q);
              key = cands[q].rowGap;
            }
          if (pick < 0) break;
          cands[size_t(pick)].rowGap = cands[size_t(pick)].lengthGap = 255;
          const int c = cands[size_t(pick)].point;
          SideGeometryB g{};
          if (!pairGeometryB(ps.points[c], ps.points[b], 12, g)) continue;
          if (used[size_t(c)] >= 2 || used[size_t(a)] > 1 || used[size_t(b)] > 1) continue;
          TriangleB t;
          t.p1 = a;
          t.p2 = b;
          t.p3 = c;
          if (!FillTriangleSides(ps, t)) continue;
          t.lenAB = j;
          t.turnAB = k;
          ctx.triangles.push_back(std::move(t));
          ++used[size_t(a)];
          ++used[size_t(b)];
          ++used[size_t(c)];
          if (int(ctx.triangles.size()) >= kMaxTriangles) return 1;
        }
      }
    }
  return 1;
}

int buildTrianglesWide(MatcherBContext &ctx, bool strict) {
  const PointSetB &ps = *ctx.points;
  const int n = ps.count;
  if (n < 1 || n > kMaxPointsB) return 0;
  int U = n <= 6 ? 4 : n <= 16 ? 3 : n <= 24 ? 2 : n <= 49 ? 1 : 0;
  int J = 1, R = 8;
  std::vector<TriangleB> &tris = ctx.triangles;
  tris.clear();
  std::vector<int> used(size_t(n), 0);
  auto isFree = [&](int p) { return used[size_t(p)] <= J && used[size_t(p)] <= U; };
  auto store = [&](int a, int b, int c) {
    if (int(tris.size()) >= kMaxTriangles || HasTriple(tris, a, b, c)) return false;
    AddTriangle(tris, a, b, c);
    ++used[size_t(a)];
    ++used[size_t(b)];
    ++used[size_t(c)];
    return true;
  };
  bool skipToggle = true, firstPass = true;
  for (int pass = 0; pass < 10000; ++pass) {
    int stored = 0;
    for (int a = 0; a < n; ++a) {
      if (!isFree(a)) continue;
      for (const PairRefB &ra : ctx.pairLists[size_t(a)]) {
        if (ra.row < 4) continue;
        if (ra.row > R) break;
        const int b = ra.from;
        if (b <= a) continue;
        if (!isFree(a)) break;
        if (!isFree(b)) continue;
        for (const PairRefB &rb : ctx.pairLists[size_t(b)]) {
          if (rb.row < 4) continue;
          if (rb.row > R) break;
          const int c = rb.from;
          if (c <= b) continue;
          if (!isFree(a) || !isFree(b)) break;
          if (!isFree(c)) continue;
          SideGeometryB g{};
          if (!pairGeometryB(ps.points[c], ps.points[a], 12, g)) continue;
          const int lenStep = StepOf(g.length);
          if (lenStep < 4 || lenStep > R) continue;
          if (strict && NearlyParallel(ra.column) && NearlyParallel(rb.column) &&
              NearlyParallel(StepOf(g.angleDiff)))
            continue;
          stored += store(a, b, c);
        }
      }
      if (skipToggle) ++a;
    }
    if (firstPass) {
      for (int a = 0; a < n; ++a) {
        if (used[size_t(a)] != 0) continue;
        auto light = [&](int p) { return used[size_t(p)] <= J && used[size_t(p)] <= 3; };
        for (const PairRefB &ra : ctx.pairLists[size_t(a)]) {
          if (used[size_t(a)] != 0) break;
          if (ra.row < 4) continue;
          if (ra.row > 21) break;
          const int b = ra.from;
          if (b == a || !light(b)) continue;
          for (const PairRefB &rb : ctx.pairLists[size_t(b)]) {
            if (used[size_t(a)] != 0) break;
            if (rb.row < 4) continue;
            if (rb.row > 21) break;
            const int c = rb.from;
            if (c == a || c == b || !light(c)) continue;
            SideGeometryB g{};
            if (!pairGeometryB(ps.points[c], ps.points[a], 12, g)) continue;
            const int lenStep = StepOf(g.length);
            if (lenStep < 4 || lenStep > 21) continue;
            int v[3] = {a, b, c};
            std::sort(v, v + 3);
            stored += store(v[0], v[1], v[2]);
          }
        }
      }
    }
    firstPass = false;
    const int K = int(tris.size());
    if (K >= kMaxTriangles) break;
    if (stored > 0) {
      ++J;
      if (R <= 25) R += 2;
    } else if (R <= 25) {
      R += 2;
    } else {
      if (U > 3 || K > 11) break;
      ++U;
      R = 6;
    }
    if (strict && n >= 13 && R >= 14 && K <= 5) {
      tris.clear();
      break;
    }
    bool capR = true;
    if (R >= 19 && K >= 8) {
      if (U > 3) break;
      ++U;
      R = 4;
      capR = false;
    } else if (R >= 23 && K >= 5) {
      if (U > 3) break;
      ++U;
      R = 4;
      capR = false;
    }
    if (capR && R > 26) R = 26;
    skipToggle = !skipToggle;
  }
  // Rotate so p1-p2 is the longest side; a long first side swaps p2 and p3.
  for (TriangleB &t : tris) {
    SideGeometryB g1{}, g2{}, g3{};
    if (!pairGeometryB(ps.points[t.p1], ps.points[t.p2], kGeoLength, g1) ||
        !pairGeometryB(ps.points[t.p2], ps.points[t.p3], kGeoLength, g2) ||
        !pairGeometryB(ps.points[t.p3], ps.points[t.p1], kGeoLength, g3))
      return 0;
    const int f = StepOf(g1.length), g = StepOf(g2.length), h = StepOf(g3.length);
    const int v[3] = {t.p1, t.p2, t.p3};
    if (f < g && g >= h) {
      t.p1 = v[1], t.p2 = v[2], t.p3 = v[0];
    } else if (g < h && f < h) {
      t.p1 = v[2], t.p2 = v[0], t.p3 = v[1];
    }
    SideGeometryB g12{};
    pairGeometryB(ps.points[t.p1], ps.points[t.p2], kGeoLength, g12);
    if (StepOf(g12.length) > 16) std::swap(t.p2, t.p3);
    if (!FillTriangleSides(ps, t)) return 0;
  }
  return tris.empty() ? 0 : 1;
}

int prepareMatcherBContext(MatcherBContext &first) {
  const PointSetB &ps = *first.points;
  std::vector<int> order(size_t(ps.count));
  std::iota(order.begin(), order.end(), 0);
  groupPointsB(first.groups, order, ps);
  clearPairGrid(first.grid, first.pairLists);
  buildPairGridB(ps, first.grid, first.pairLists);
  buildNearNeighbours(first);
  first.triangles.clear();
  if (ps.count < 18) {
    buildTrianglesNear(first);
    if (first.triangles.size() > 7) return 1;
  }
  buildTrianglesWide(first, true);
  if (first.triangles.size() <= 7) buildTrianglesWide(first, false);
  return first.triangles.empty() ? 0 : 1;
}

}  // namespace fplib
