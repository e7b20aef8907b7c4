#include <algorithm>
#include <cstdint>
#include <new>

#include "match_tables.h"
#include "matcher_b_context.h"

namespace fplib {

namespace {

// Every ordered pair of distinct points.
constexpr size_t kMaxScanItems = size_t(kMaxPointsB) * size_t(kMaxPointsB - 1);
constexpr size_t kListRowEntries = size_t(kMaxPointsB) * size_t(kListRowSlots);

}  // namespace

bool createMatcherBContext(MatcherBContext &ctx, bool withTriangles) {
  const size_t cells = size_t(ctx.grid.rows) * size_t(ctx.grid.columns);
  // Made before, every part (a failed allocation may have stopped part way).
  if (ctx.pairLists.size() == size_t(kMaxPointsB) && ctx.grid.cells.size() == cells &&
      ctx.grid.filled.size() == (cells + 63) / 64 && ctx.grid.scan.capacity() >= kMaxScanItems &&
      ctx.grid.cellStart.size() == cells + 1 && ctx.grid.listRowStart.size() == kListRowEntries &&
      (!withTriangles || (ctx.triangles.capacity() >= size_t(kMaxTriangles) && ctx.near.size() == size_t(kMaxPointsB))))
    return true;  // made before: lists and grid are cleared where they are filled
  try {
    ctx.pairLists.assign(kMaxPointsB, {});
    for (auto &l : ctx.pairLists) l.reserve(kPairListSlots);
    ctx.grid.cells.assign(cells, {});
    for (auto &c : ctx.grid.cells) c.reserve(10);
    ctx.grid.filled.assign((cells + 63) / 64, 0);
    ctx.grid.scan.reserve(kMaxScanItems);
    ctx.grid.cellStart.assign(cells + 1, 0);
    ctx.grid.listRowStart.assign(kListRowEntries, 0);
    if (withTriangles) {
      ctx.triangles.reserve(kMaxTriangles);
      ctx.near.resize(kMaxPointsB);
    }
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}

namespace {

// Calls f(cell index) for every filled cell, rising.
template <class F>
void ForEachFilled(const PairGridB &grid, F f) {
  for (size_t w = 0; w < grid.filled.size(); ++w)
    for (uint64_t bits = grid.filled[w]; bits; bits &= bits - 1) f(w * 64 + size_t(__builtin_ctzll(bits)));
}

void ClearCells(PairGridB &grid) {
  ForEachFilled(grid, [&](size_t cell) { grid.cells[cell].clear(); });
  std::fill(grid.filled.begin(), grid.filled.end(), 0);
}

void File(PairGridB &grid, int r, int c, const PairItemB &item) {
  const size_t cell = size_t(r) * size_t(grid.columns) + size_t(c);
  grid.cells[cell].push_back(item);
  grid.filled[cell / 64] |= uint64_t(1) << (cell % 64);
}

// Per point of the set, the first entry of its list at each row.
void IndexListRows(int n, PairGridB &grid, const std::vector<std::vector<PairRefB>> &lists) {
  grid.listRowStart.resize(kListRowEntries);
  for (int p = 0; p < n; ++p) {
    uint8_t *start = &grid.listRowStart[size_t(p) * kListRowSlots];
    // Counts by row, then running sums: no branch on the rows.
    uint8_t count[kListRowSlots] = {};
    for (const PairRefB &ref : lists[size_t(p)]) ++count[ref.row];
    int sum = 0;
    for (int r = 0; r < kListRowSlots; ++r) {
      start[r] = uint8_t(sum);
      sum += count[r];
    }
  }
}

}  // namespace

void clearPairGrid(PairGridB &grid, std::vector<std::vector<PairRefB>> &lists) {
  ClearCells(grid);
  for (auto &l : lists) l.clear();
  grid.scan.clear();
  std::fill(grid.cellStart.begin(), grid.cellStart.end(), 0);
  std::fill(grid.listRowStart.begin(), grid.listRowStart.end(), 0);
}

int buildPairGridB(const PointSetB &points, PairGridB &grid, std::vector<std::vector<PairRefB>> &lists) {
  const int n = points.count;
  ClearCells(grid);
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
      File(grid, row, c, {int16_t(i), int16_t(j), int16_t(Rem360(p.angle - b + 720))});
      const int cm = c == 0 ? 0 : kGridColumns - c;
      File(grid, row, cm, {int16_t(j), int16_t(i), int16_t(Rem360(q.angle - b + 900))});
    }
  }
  for (auto &l : lists) l.clear();
  const size_t cells = size_t(grid.rows) * size_t(grid.columns);
  grid.cellStart.assign(cells + 1, 0);
  grid.scan.clear();
  // Filled cells in row order, then column order, as a scan of the grid meets them.
  ForEachFilled(grid, [&](size_t index) {
    const auto &cell = grid.cells[index];
    grid.cellStart[index + 1] = uint16_t(cell.size());
    for (const PairItemB &it : cell)
      grid.scan.push_back({it.from, it.to, it.angle, int16_t(points.points[it.from].angle),
                           int16_t(points.points[it.to].angle), 0});
    const int r = int(index / size_t(grid.columns)), c = int(index % size_t(grid.columns));
    if (r >= kGridRows || c >= kGridColumns) return;
    for (int k = int(cell.size()) - 1; k >= 0; --k) {
      auto &l = lists[size_t(cell[size_t(k)].to)];
      if (int(l.size()) < kPairListSlots) l.push_back({r, c, k, cell[size_t(k)].from, cell[size_t(k)].angle});
    }
  });
  for (size_t i = 0; i < cells; ++i) grid.cellStart[i + 1] = uint16_t(grid.cellStart[i + 1] + grid.cellStart[i]);
  IndexListRows(n, grid, lists);
  return 1;
}

}  // namespace fplib
