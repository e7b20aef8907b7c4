#include "sector_map.h"

#include <algorithm>

#include "direction_quality.h"
#include "direction_field.h"
#include "thread_buffer.h"

namespace fplib {

namespace {

constexpr int N = kMapSize;

inline size_t At(int r, int c) { return size_t(r) * N + c; }

void PlaceMask(const uint8_t *field, SectorMap &map) {
  for (int i = 0; i < 360; i += 2)
    for (int j = 0; j < 256; j += 2) {
      const int cr = i / 3, cc = j / 3;
      if (cr > kCellRows - 1 || cc > kCellCols - 1) continue;
      if (!(field[cr * kCellCols + cc] & minutiae::kBackground)) map.Mask(kMapTop + i / 2, kMapLeft + j / 2) = 1;
    }
}

// Middle column of the run in row r through column m, bounded by 0-cells.
void RunBounds(const SectorMap &map, int r, int m, int &lo, int &hi) {
  lo = m;
  while (lo > 0 && map.mask[At(r, lo)]) --lo;
  hi = m;
  while (hi < N - 1 && map.mask[At(r, hi)]) ++hi;
}

void VerticalLimitsAndExtents(SectorMap &map) {
  auto sparse = [&](int r) {
    int n = 0;
    for (int c = 10; c < 190; ++c) n += map.mask[At(r, c)];
    return n <= 20;
  };
  map.top = 5;
  for (int r = 100; r >= 0; --r)
    if (sparse(r)) {
      map.top = r;
      break;
    }
  map.bottom = 195;
  for (int r = 100; r < N; ++r)
    if (sparse(r)) {
      map.bottom = r;
      break;
    }
  for (int r = map.top; r <= map.bottom; ++r)
    for (int c = 5; c <= 195; ++c)
      if (map.mask[At(r, c)]) {
        map.left[r] = std::min(map.left[r], c);
        map.right[r] = c;
      }
}

void PlaceSectors(const uint8_t *field, SectorMap &map) {
  for (int i = 0; i < 360; i += 2)
    for (int j = 0; j < 256; j += 2) {
      const int cr = i / 3, cc = j / 3;
      if (cr > kCellRows - 1 || cc > kCellCols - 1) continue;
      const int r = kMapTop + i / 2, c = kMapLeft + j / 2;
      if (map.mask[At(r, c)]) map.sector[At(r, c)] = uint8_t(sectorOfDirection(field[cr * kCellCols + cc] & 0x7F));
    }
}

void SmoothSectors(SectorMap &map) {
  // The majority over the 9x9 window (rows clipped to the grid; the extents
  // keep the columns inside) slides along each row as a histogram.
  std::vector<uint8_t> &next = minutiae::threadBuffer<struct SectorSmoothing, uint8_t>();
  for (int pass = 0; pass < 4; ++pass) {
    next = map.sector;
    int filled = 0;
    for (int r = map.top; r <= map.bottom; ++r) {
      if (map.left[r] > map.right[r]) continue;
      const int r0 = std::max(r - 4, 0), r1 = std::min(r + 4, N - 1);
      int hist[9] = {};
      auto column = [&](int c, int step) {
        if (c < 0 || c >= N) return;
        for (int rr = r0; rr <= r1; ++rr) hist[map.sector[At(rr, c)]] += step;
      };
      for (int c = map.left[r] - 5; c < map.left[r] + 4; ++c) column(c, 1);
      for (int c = map.left[r]; c <= map.right[r]; ++c) {
        column(c + 4, 1);
        column(c - 5, -1);
        int best = 0, bestCount = 0;
        for (int v = 1; v <= 8; ++v)
          if (hist[v] > bestCount) {
            best = v;
            bestCount = hist[v];
          }
        if (bestCount > 7) {
          filled += map.sector[At(r, c)] == 0;
          next[At(r, c)] = uint8_t(best);
        }
      }
    }
    map.sector.swap(next);
    if (filled <= 3) break;
  }
}

struct RegionRow {
  int r, lo, hi;
};

// One ring's contribution: negative minus positive sector steps.
int RingTurning(const SectorMap &map, int r, int c, const int (*offsets)[2], int n, bool inner) {
  // Rings hold at most 64 cells.
  int read[64], v[64], seq[66];
  size_t used = 0;
  for (int k = 0; k < n; ++k) read[size_t(k)] = map.S(r + offsets[k][0], c + offsets[k][1]);
  std::copy(read, read + n, v);
  for (int k = 1; k < n; ++k) {
    const int succ = k == n - 1 ? read[0] : v[size_t(k) + 1];
    if (v[size_t(k)] != v[size_t(k) - 1] && v[size_t(k)] != succ) v[size_t(k)] = v[size_t(k) - 1];
  }
  if (v[0] != v[size_t(n) - 1] && v[0] != v[1]) v[0] = inner ? v[size_t(n) - 1] : v[1];
  for (int k = 0; k < n; ++k)
    if (v[k]) seq[used++] = v[k];
  if (inner && read[0]) seq[used++] = read[0];
  if (used == 0) return 0;
  seq[used] = seq[0];
  ++used;
  int turning = 0;
  for (size_t k = 1; k < used; ++k) {
    const int d = seq[k] - seq[k - 1];
    if (d == 0 || d == 4 || d == -4) continue;
    if ((d >= -3 && d <= -1) || (d >= 5 && d <= 7)) ++turning;
    else --turning;
  }
  return turning;
}

const int kInnerRing[16][2] = {{-2, -2}, {-3, -1}, {-3, 0}, {-3, 1}, {-2, 2}, {-1, 3}, {0, 3},  {1, 3},
                               {2, 2},   {3, 1},   {3, 0},  {3, -1}, {2, -2}, {1, -3}, {0, -3}, {-1, -3}};

struct OuterRing {
  int cells[64][2];
  OuterRing() {
    int k = 0;
    for (int col = -8; col <= 8; ++col) cells[k][0] = -8, cells[k++][1] = col;
    for (int row = -7; row <= 7; ++row) cells[k][0] = row, cells[k++][1] = 9;
    for (int col = 8; col >= -8; --col) cells[k][0] = 8, cells[k++][1] = col;
    for (int row = 7; row >= -7; --row) cells[k][0] = row, cells[k++][1] = -9;
  }
};

}  // namespace

SectorMap::SectorMap() { Reset(); }

void SectorMap::Reset() {
  mask.assign(size_t(kMapSize) * kMapSize, 0);
  sector.assign(size_t(kMapSize) * kMapSize, 0);
  std::fill(left, left + kMapSize, 195);
  std::fill(right, right + kMapSize, 5);
  top = 5;
  bottom = 195;
  searchBound = 195;
  std::fill(rowClass, rowClass + kMapSize, 0);
}

int sectorOfDirection(int direction) { return ((135 - direction) / 16) % 8 + 1; }

void filterMask(SectorMap &map) {
  // 9x9 window sums (the windows stay inside the grid) from column sums that
  // move down a row at a time, run along each row.
  std::vector<uint8_t> &next = minutiae::threadBuffer<struct MaskFilterNext, uint8_t>();
  std::vector<int> &col = minutiae::threadBuffer<struct MaskFilterColumns, int>();
  for (int pass = 0; pass < 3; ++pass) {
    next.assign(size_t(N) * N, 0);
    col.assign(size_t(N), 0);
    for (int rr = 0; rr < 8; ++rr)
      for (int c = 0; c < N; ++c) col[size_t(c)] += map.mask[At(rr, c)];
    for (int r = 4; r <= 195; ++r) {
      for (int c = 0; c < N; ++c) col[size_t(c)] += map.mask[At(r + 4, c)];
      if (r > 4)
        for (int c = 0; c < N; ++c) col[size_t(c)] -= map.mask[At(r - 5, c)];
      int sum = 0;
      for (int c = 0; c < 8; ++c) sum += col[size_t(c)];
      for (int c = 4; c <= 195; ++c) {
        sum += col[size_t(c + 4)];
        if (c > 4) sum -= col[size_t(c - 5)];
        next[At(r, c)] = sum > 60;
      }
    }
    map.mask.swap(next);
  }
}

void eraseNarrowRegions(SectorMap &map) {
  std::vector<uint8_t> &marked = minutiae::threadBuffer<struct NarrowMarked, uint8_t>();
  marked.assign(size_t(N) * N, 0);
  std::vector<RegionRow> &rows = minutiae::threadBuffer<struct NarrowRows, RegionRow>();
  rows.reserve(N);  // a region has at most one entry per row
  auto clear = [&](const RegionRow &row) {
    for (int c = std::max(row.lo, 0); c <= std::min(row.hi, N - 1); ++c) map.mask[At(row.r, c)] = 0;
  };
  for (int r0 = 0; r0 < N; ++r0)
    for (int c0 = 1; c0 < N; ++c0) {
      if (!map.mask[At(r0, c0)] || map.mask[At(r0, c0 - 1)] || marked[At(r0, c0)]) continue;
      rows.clear();
      int e = c0;
      while (e < N && map.mask[At(r0, e)]) marked[At(r0, e++)] = 1;
      rows.push_back({r0, c0, e});
      int m = (c0 + e) / 2;
      for (int r = r0 + 1; r < N; ++r) {
        if (map.mask[At(r, m)]) {
          int lo, hi;
          RunBounds(map, r, m, lo, hi);
          for (int c = lo + 1; c < hi; ++c) marked[At(r, c)] = 1;
          rows.push_back({r, lo, hi});
        } else {
          rows.push_back({r, m, m});
        }
        if (r + 1 >= N) break;
        const RegionRow &cur = rows.back();
        const int mid = (cur.lo + cur.hi) / 2;
        int next = -1;
        if (map.mask[At(r + 1, mid)]) next = mid;
        for (int c = mid - 1; next < 0 && c >= cur.lo - 1; --c)
          if (c >= 0 && map.mask[At(r + 1, c)]) next = c;
        for (int c = mid + 1; next < 0 && c <= cur.hi + 1; ++c)
          if (c < N && map.mask[At(r + 1, c)]) next = c;
        if (next < 0) break;
        m = next;
      }
      const int n = int(rows.size());
      int64_t q = 0;
      int narrow = 0;
      for (int k = 0; k < n; ++k) {
        q += rows[size_t(k)].hi - rows[size_t(k)].lo;
        if (k > 0 && rows[size_t(k)].hi - rows[size_t(k)].lo < 40) ++narrow;
      }
      if (q / n < 30)
        for (const RegionRow &row : rows) clear(row);
      if (double(narrow) / n > 0.1)
        for (const RegionRow &row : rows)
          if (row.hi - row.lo < 50) clear(row);
    }
}

void classifyRows(SectorMap &map) {
  int widest = 0;
  for (int r = 0; r < N; ++r) widest = std::max(widest, map.right[r] - map.left[r]);
  const int f = widest / 4;
  for (int r = map.top + 1; r <= map.bottom - 2; ++r) {
    int count[9] = {}, total = 0;
    for (int c = map.left[r] + 12; c < map.right[r] - 12; ++c) {
      const int s = map.S(r, c);
      if (!s) continue;
      ++count[s];
      ++total;
    }
    if (total < f || total == 0) continue;
    const double h = double(count[1] + count[2] + count[8]) / total;
    auto share = [&](int a) { return double(count[a] + count[a + 1] + count[a + 2]) / total; };
    if (h > 0.95) map.rowClass[r] = 1;
    else if (share(3) > 0.95 || share(4) > 0.95 || share(5) > 0.95) map.rowClass[r] = 2;
    else if (h < 0.05) map.rowClass[r] = 3;
    else map.rowClass[r] = 9;
  }
  for (int r = map.top + 1; r <= map.bottom - 2; ++r)
    if (map.rowClass[r]) {
      map.top = r;
      break;
    }
  for (int r = map.bottom - 1; r >= map.top + 1; --r)
    if (map.rowClass[r]) {
      map.bottom = r;
      break;
    }
  int firstLong = -1, lastAny = -1;
  for (int start = map.top; start < map.bottom;) {
    int end = start;
    while (end < map.bottom && map.rowClass[end] == map.rowClass[start]) ++end;
    if (map.rowClass[start] == 1 && start - map.top >= 85) {
      if (firstLong < 0 && end - start >= 21) firstLong = start;
      lastAny = start;
    }
    start = end;
  }
  map.searchBound = firstLong >= 0 ? firstLong : lastAny >= 0 ? lastAny : map.bottom;
}

void buildSectorMap(const uint8_t *field, SectorMap &map) {
  PlaceMask(field, map);
  filterMask(map);
  eraseNarrowRegions(map);
  VerticalLimitsAndExtents(map);
  PlaceSectors(field, map);
  SmoothSectors(map);
  classifyRows(map);
}

int windingIndex(const SectorMap &map, int r, int c) {
  if (r < 15 || r > 184 || c < 15 || c > 184) return 0;
  int across = 0, along = 0;
  for (int i = r - 15; i <= r + 15; ++i)
    for (int j = c - 15; j <= c + 15; ++j) {
      const int s = map.S(i, j);
      across += s >= 2 && s <= 4;
      along += s >= 6;
    }
  if (across < 4 || along < 4) return -10;
  static const OuterRing outer;
  return RingTurning(map, r, c, kInnerRing, 16, true) + RingTurning(map, r, c, outer.cells, 64, false);
}

}  // namespace fplib
