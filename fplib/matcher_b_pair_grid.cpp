#include <new>

#include "match_tables.h"
#include "matcher_b_context.h"

namespace fplib {

bool createMatcherBContext(MatcherBContext &ctx, bool withTriangles) {
  const size_t cells = size_t(ctx.grid.rows) * size_t(ctx.grid.columns);
  if (ctx.pairLists.size() == size_t(kMaxPointsB) && ctx.grid.cells.size() == cells &&
      (!withTriangles || ctx.triangles.capacity() >= size_t(kMaxTriangles)))
    return true;  // made before: lists and grid are cleared where they are filled
  try {
    ctx.pairLists.assign(kMaxPointsB, {});
    for (auto &l : ctx.pairLists) l.reserve(kPairListSlots);
    ctx.grid.cells.assign(cells, {});
    for (auto &c : ctx.grid.cells) c.reserve(10);
    if (withTriangles) ctx.triangles.reserve(kMaxTriangles);
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}

void clearPairGrid(PairGridB &grid, std::vector<std::vector<PairRefB>> &lists) {
  for (auto &c : grid.cells) c.clear();
  for (auto &l : lists) l.clear();
}

int buildPairGridB(const PointSetB &points, PairGridB &grid, std::vector<std::vector<PairRefB>> &lists) {
  const int n = points.count;
  for (auto &c : grid.cells) c.clear();
  for (int i = 0; i < n; ++i) {
    const PointB &p = points.points[i];
    for (int j = i + 1; j < n; ++j) {
      const PointB &q = points.points[j];
      const int dx = q.x - p.x, dy = p.y - q.y;
      const int ax = Abs(dx), ay = Abs(dy);
      if (ax > 179 || ay > 179 || dx * dx + dy * dy > 32399) continue;
      const int d = FloorSqrtSmall(dx * dx + dy * dy);
      if (d >= 130) continue;
      const int row = (d * 819) >> 12;
      const int c = (Rem360(p.angle - q.angle + 360) * 819) >> 12;
      const int e = ay >= ax ? AtanDeg(ay, ax) : 90 - AtanDeg(ax, ay);
      const int b = DirectionQuadrantDeg(dx, dy, e);
      grid.at(row, c).push_back({int16_t(i), int16_t(j), int16_t(Rem360(p.angle - b + 720))});
      const int cm = c == 0 ? 0 : kGridColumns - c;
      grid.at(row, cm).push_back({int16_t(j), int16_t(i), int16_t(Rem360(q.angle - b + 900))});
    }
  }
  for (auto &l : lists) l.clear();
  for (int r = 0; r < kGridRows; ++r)
    for (int c = 0; c < kGridColumns; ++c) {
      const auto &cell = grid.at(r, c);
      for (int k = int(cell.size()) - 1; k >= 0; --k) {
        auto &l = lists[size_t(cell[size_t(k)].to)];
        if (int(l.size()) < kPairListSlots) l.push_back({r, c, k, cell[size_t(k)].from, cell[size_t(k)].angle});
      }
    }
  return 1;
}

}  // namespace fplib
