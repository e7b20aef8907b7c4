#include <algorithm>
#include <cstdint>
#include <cstring>
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
      g.scan.capacity() >= kMaxScanItems && g.filed.size() == kMaxScanItems &&
      g.listRowStart.size() == kListRowEntries &&
      (!withTriangles || (ctx.triangles.capacity() >= size_t(kMaxTriangles) && ctx.near.size() == size_t(kMaxPointsB))))
    return true;  // made before: lists and grid are cleared where they are filled
  try {
    ctx.pairLists.assign(kMaxPointsB, {});
    for (auto &l : ctx.pairLists) l.reserve(kPairListSlots);
    g.scan.reserve(kMaxScanItems);
    g.filed.resize(kMaxScanItems);
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

// Running sums of v[0..count) in place, four 16-bit entries to a 64-bit
// word: the sums stay below 2^16, so no lane carries into the next.
void RunningSums16(uint16_t *v, size_t count) {
  uint64_t carry = 0;
  size_t k = 0;
  for (; k + 4 <= count; k += 4) {
    uint64_t x;
    std::memcpy(&x, v + k, sizeof x);
    x += x << 16;
    x += x << 32;
    x += carry * 0x0001000100010001ull;
    std::memcpy(v + k, &x, sizeof x);
    carry = x >> 48;
  }
  for (; k < count; ++k) {
    carry += v[k];
    v[k] = uint16_t(carry);
  }
}

// Field by field into place: a whole item built aside and copied in would
// stall on its narrow stores.
inline void PutItem(PairScanB &e, int from, int to, int angle, int fromAngle, int toAngle, int cell) {
  e.from = int16_t(from);
  e.to = int16_t(to);
  e.angle = int16_t(angle);
  e.fromAngle = int16_t(fromAngle);
  e.toAngle = int16_t(toAngle);
  e.cell = int16_t(cell);
}

}  // namespace

void clearPairGrid(PairGridB &grid, std::vector<std::vector<PairRefB>> &lists) {
  // The build sets every part it uses; an empty grid is all it needs here.
  grid.scan.clear();
  grid.cellStart.assign(CellCount(grid) + 2, 0);
  for (auto &l : lists) l.clear();
}

int buildPairGridB(const PointSetB &points, PairGridB &grid, std::vector<std::vector<PairRefB>> &lists) {
  const int n = points.count;
  const size_t cells = CellCount(grid);
  // Counts of cell c go to cellStart[c + 2], so that after the running sums
  // cellStart[c + 1] is where cell c starts; placing the items moves it on to
  // where cell c + 1 starts.
  grid.cellStart.assign(cells + 2, 0);
  uint16_t *start = grid.cellStart.data();
  grid.filed.resize(kMaxScanItems);  // made at full size: no allocation
  PairScanB *filed = grid.filed.data();
  size_t items = 0;
  int near[kMaxPointsB];
  for (int i = 0; i < n; ++i) {
    const PointB &p = points.points[i];
    // The points closer than 130 (a square below 130^2), listed without a
    // branch on the geometry.
    int nearCount = 0;
    for (int j = i + 1; j < n; ++j) {
      const int dx = points.points[j].x - p.x, dy = p.y - points.points[j].y;
      near[nearCount] = j;
      nearCount += dx * dx + dy * dy < 130 * 130;
    }
    for (int k = 0; k < nearCount; ++k) {
      const int j = near[k];
      const PointB &q = points.points[j];
      const int dx = q.x - p.x, dy = p.y - q.y;
      const int ax = Abs(dx), ay = Abs(dy);
      const int d = FloorSqrtSmall(dx * dx + dy * dy);
      const int row = (d * 819) >> 12;
      const int c = (Rem360(p.angle - q.angle + 360) * 819) >> 12;
      const int b = DirectionQuadrantDeg(dx, dy, QuarterDeg(ax, ay));
      const int cm = c == 0 ? 0 : kGridColumns - c;
      const int cell = row * kGridStride + c, cellM = row * kGridStride + cm;
      PutItem(filed[items], i, j, Rem360(p.angle - b + 720), p.angle, q.angle, cell);
      PutItem(filed[items + 1], j, i, Rem360(q.angle - b + 900), q.angle, p.angle, cellM);
      items += 2;
      ++start[cell + 2];
      ++start[cellM + 2];
    }
  }
  RunningSums16(start + 1, cells + 1);
  grid.scan.resize(items);
  PairScanB *scan = grid.scan.data();
  for (size_t k = 0; k < items; ++k) scan[start[filed[k].cell + 1]++] = filed[k];
  // Lists: cells in row order, then column order, as a scan of the grid
  // meets them; each cell's items last filed first. A point has at most
  // kMaxPointsB - 1 partners, so every list has room. Its row index counts
  // the entries by row as they come.
  for (auto &l : lists) l.clear();
  uint8_t *rowCount = grid.listRowStart.data();
  std::fill_n(rowCount, size_t(n) * kListRowSlots, uint8_t(0));
  for (size_t k = 0; k < items; ++k) {
    const int cell = scan[k].cell;
    const int first = start[cell], item = start[cell + 1] - 1 - int(k);
    const PairScanB &it = scan[size_t(first + item)];
    // The grid's stride is fixed: a division by a constant, not a divide.
    const int r = cell / kGridStride, c = cell % kGridStride;
    PairRefB &ref = lists[size_t(it.to)].emplace_back();
    ref.row = r;
    ref.column = c;
    ref.item = item;
    ref.from = it.from;
    ref.angle = it.angle;
    ++rowCount[size_t(it.to) * kListRowSlots + size_t(r) + 1];
  }
  // Per point, the first entry of its list at each row: running sums of the
  // counts.
  for (int p = 0; p < n; ++p) {
    uint8_t *row = rowCount + size_t(p) * kListRowSlots;
    int sum = 0;
    for (int r = 0; r < kListRowSlots; ++r) {
      sum += row[r];
      row[r] = uint8_t(sum);
    }
  }
  return 1;
}

}  // namespace fplib
