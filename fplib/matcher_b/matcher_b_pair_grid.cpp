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

size_t CellCount(const PairGridB &grid) { return size_t(grid.rows) * size_t(kGridStride); }

}  // namespace

bool createMatcherBContext(MatcherBContext &ctx, bool withTriangles) {
  PairGridB &g = ctx.grid;
  const size_t cells = CellCount(g);
  // Made before, every part (a failed allocation may have stopped part way).
  if (ctx.pairLists.size() == size_t(kMaxPointsB) && g.cellStart.size() == cells + 2 &&
      g.scan.capacity() >= kMaxScanItems && g.filed.capacity() >= kMaxScanItems &&
      g.filedCell.capacity() >= kMaxScanItems && g.scanCell.capacity() >= kMaxScanItems &&
      g.listRowStart.size() == kListRowEntries &&
      (!withTriangles || (ctx.triangles.capacity() >= size_t(kMaxTriangles) && ctx.near.size() == size_t(kMaxPointsB))))
    return true;  // made before: lists and grid are cleared where they are filled
  try {
    ctx.pairLists.assign(kMaxPointsB, {});
    for (auto &l : ctx.pairLists) l.reserve(kPairListSlots);
    g.scan.reserve(kMaxScanItems);
    g.filed.reserve(kMaxScanItems);
    g.filedCell.reserve(kMaxScanItems);
    g.scanCell.reserve(kMaxScanItems);
    g.cellStart.assign(cells + 2, 0);
    g.listRowStart.assign(kListRowEntries, 0);
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

void File(PairGridB &grid, int r, int c, const PairScanB &item) {
  const size_t cell = size_t(r) * size_t(kGridStride) + size_t(c);
  grid.filed.push_back(item);
  grid.filedCell.push_back(uint16_t(cell));
  ++grid.cellStart[cell + 2];
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
  grid.scan.clear();
  grid.cellStart.assign(CellCount(grid) + 2, 0);
  std::fill(grid.listRowStart.begin(), grid.listRowStart.end(), 0);
  for (auto &l : lists) l.clear();
}

int buildPairGridB(const PointSetB &points, PairGridB &grid, std::vector<std::vector<PairRefB>> &lists) {
  const int n = points.count;
  const size_t cells = CellCount(grid);
  // Counts of cell c go to cellStart[c + 2], so that after the running sums
  // cellStart[c + 1] is where cell c starts; placing the items moves it on to
  // where cell c + 1 starts.
  grid.cellStart.assign(cells + 2, 0);
  grid.filed.clear();
  grid.filedCell.clear();
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
      File(grid, row, c, {{int16_t(i), int16_t(j), int16_t(Rem360(p.angle - b + 720))}, int16_t(p.angle),
                          int16_t(q.angle), 0});
      const int cm = c == 0 ? 0 : kGridColumns - c;
      File(grid, row, cm, {{int16_t(j), int16_t(i), int16_t(Rem360(q.angle - b + 900))}, int16_t(q.angle),
                           int16_t(p.angle), 0});
    }
  }
  uint16_t *start = grid.cellStart.data();
  for (size_t c = 2; c < cells + 2; ++c) start[c] = uint16_t(start[c] + start[c - 1]);
  const size_t items = grid.filed.size();
  grid.scan.resize(items);
  grid.scanCell.resize(items);
  for (size_t k = 0; k < items; ++k) {
    const uint16_t cell = grid.filedCell[k];
    const uint16_t at = start[cell + 1]++;
    grid.scan[at] = grid.filed[k];
    grid.scanCell[at] = cell;
  }
  for (auto &l : lists) l.clear();
  // Cells in row order, then column order, as a scan of the grid meets
  // them; each cell's items last filed first.
  for (size_t k = 0; k < items; ++k) {
    const uint16_t cell = grid.scanCell[k];
    const int first = start[cell], item = start[cell + 1] - 1 - int(k);
    const PairScanB &it = grid.scan[size_t(first + item)];
    // The grid's stride is fixed: a division by a constant, not a divide.
    const int r = cell / kGridStride, c = cell % kGridStride;
    if (r >= kGridRows || c >= kGridColumns) continue;
    auto &l = lists[size_t(it.to)];
    if (int(l.size()) < kPairListSlots) l.push_back({r, c, item, it.from, it.angle});
  }
  IndexListRows(n, grid, lists);
  return 1;
}

}  // namespace fplib
