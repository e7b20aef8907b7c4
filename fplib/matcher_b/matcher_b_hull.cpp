#include "matcher_b_hull.h"

#include <cstdint>
#include <memory>

namespace fplib {

namespace {

long Cross(const HullPoint &o, const HullPoint &a, const HullPoint &b) {
  return long(a.x - o.x) * (b.y - o.y) - long(a.y - o.y) * (b.x - o.x);
}

// Whether v lies within -limit..limit (no negation, so any int will do).
bool Within(int v, int limit) { return v >= -limit && v <= limit; }

long Dist2(const HullPoint &a, const HullPoint &b) {
  return long(a.x - b.x) * (a.x - b.x) + long(a.y - b.y) * (a.y - b.y);
}

}  // namespace

void DistinctPositionsInto(const std::vector<HullPoint> &pts, std::vector<HullPoint> &out) {
  out.clear();
  // Up to 256 positions within 16 bits each: one 32-bit key per position,
  // scanned whole without early exits, so that the scan has no branch on
  // the data and vectorises.
  constexpr size_t kKeys = 256;
  bool narrow = pts.size() <= kKeys;
  for (const HullPoint &p : pts)
    narrow = narrow && Within(p.x, 32767) && Within(p.y, 32767);
  if (narrow) {
    uint32_t keys[kKeys];
    size_t kept = 0;
    for (const HullPoint &p : pts) {
      const uint32_t key = (uint32_t(p.x + 32768) << 16) | uint32_t(p.y + 32768);
      uint32_t seen = 0;
      for (size_t i = 0; i < kept; ++i) seen |= uint32_t(keys[i] == key);
      if (seen) continue;
      keys[kept++] = key;
      out.push_back(p);
    }
    return;
  }
  for (const HullPoint &p : pts) {
    int seen = 0;
    for (const HullPoint &q : out) seen |= (q.x == p.x) & (q.y == p.y);
    if (!seen) out.push_back(p);
  }
}

std::vector<HullPoint> DistinctPositions(const std::vector<HullPoint> &pts) {
  std::vector<HullPoint> out;
  DistinctPositionsInto(pts, out);
  return out;
}

namespace {

constexpr int kWalkCapacity = 256;
constexpr int kWalkLimit = 8191;  // differences within 14 bits: squares and products fit in 32

// The walk of convexHullInto for up to kWalkCapacity points within
// +-kWalkLimit: 32-bit arithmetic over the points not yet walked, kept in
// their order in flat arrays, so that the scan has no test on whether a
// point was walked. False when the points do not qualify (nothing done).
bool WalkNarrow(const std::vector<HullPoint> &pts, int start, int limit, std::vector<int> &hull, bool skipInner) {
  const int n = int(pts.size());
  if (n > kWalkCapacity) return false;
  int left = 0, xs[kWalkCapacity], ys[kWalkCapacity], ids[kWalkCapacity];
  int lo = 0, hi = 0, top = 0;  // least x, greatest x, greatest y
  for (int i = 0; i < n; ++i) {
    const HullPoint &p = pts[size_t(i)];
    if (!Within(p.x, kWalkLimit) || !Within(p.y, kWalkLimit)) return false;
    lo = p.x < pts[size_t(lo)].x ? i : lo;
    hi = p.x > pts[size_t(hi)].x ? i : hi;
    top = p.y > pts[size_t(top)].y ? i : top;
  }
  // A point strictly inside the quadrilateral of the extreme points is
  // strictly inside the hull and never a vertex: at distinct positions it
  // can be left out of the walk, which picks the same vertices from the
  // rest. (A repeated position makes steps of length 0, whose choice
  // depends on every point listed.)
  const HullPoint q[4] = {pts[size_t(start)], pts[size_t(hi)], pts[size_t(top)], pts[size_t(lo)]};
  int startAt = 0;
  for (int i = 0; i < n; ++i) {
    const int x = pts[size_t(i)].x, y = pts[size_t(i)].y;
    int inside = 1;
    for (int k = 0; k < 4; ++k) {
      const HullPoint &a = q[k], &b = q[(k + 1) & 3];
      inside &= int((b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x) > 0);
    }
    inside &= int(skipInner);
    startAt = i == start ? left : startAt;
    xs[left] = x;
    ys[left] = y;
    ids[left] = i;
    left += 1 - inside;
  }
  int cur = start;
  bool firstStep = true;  // cur is the start, still listed at its own position
  for (int steps = 0;; ++steps) {
    if (steps > limit) {
      hull.clear();
      return true;
    }
    // The first candidate, which must not be cur itself.
    const int first = firstStep && startAt == 0 ? 1 : 0;
    if (first >= left) {
      hull.clear();
      return true;
    }
    const int ox = pts[size_t(cur)].x, oy = pts[size_t(cur)].y;
    int next = first, nx = xs[first] - ox, ny = ys[first] - oy, nd = nx * nx + ny * ny;
    for (int k = first + 1; k < left; ++k) {
      const int dx = xs[k] - ox, dy = ys[k] - oy, d = dx * dx + dy * dy, c = nx * dy - ny * dx;
      // The start, still listed on the first step, never wins there: it lies
      // on every line through itself (c == 0) and the tie rule passes it by.
      const bool take = (c > 0) | ((c == 0) & (ids[k] != start) & (d < nd));
      next = take ? k : next;
      nx = take ? dx : nx;
      ny = take ? dy : ny;
      nd = take ? d : nd;
    }
    const int id = ids[next];
    hull.push_back(id);
    if (id == start) return true;
    // Walked: out of the list, the rest keeping their order.
    for (int k = next + 1; k < left; ++k) {
      xs[k - 1] = xs[k];
      ys[k - 1] = ys[k];
      ids[k - 1] = ids[k];
    }
    --left;
    firstStep = false;
    cur = id;
  }
}

void HullInto(const std::vector<HullPoint> &pts, int limit, std::vector<int> &hull, std::vector<uint8_t> &visited,
              bool distinct) {
  hull.clear();
  const int n = int(pts.size());
  if (n < 3) return;
  if (n == 3) {
    hull.assign({0, 1, 2, 0});
    return;
  }
  int start = 0;
  for (int i = 1; i < n; ++i)
    if (pts[i].y < pts[start].y || (pts[i].y == pts[start].y && pts[i].x < pts[start].x)) start = i;
  hull.push_back(start);
  if (WalkNarrow(pts, start, limit, hull, distinct)) {
    if (hull.size() <= 3) hull.clear();
    return;
  }
  visited.assign(size_t(n), 0);
  int cur = start;
  // The step limit also ends a walk that degenerate input keeps going.
  for (int steps = 0;; ++steps) {
    if (steps > limit) {
      hull.clear();
      return;
    }
    int next = -1;
    long nextDist = 0;
    const HullPoint &from = pts[cur];
    for (int q = 0; q < n; ++q) {
      // A vertex already walked is never next: on a straight edge it would
      // turn the walk back.
      if (q == cur || visited[size_t(q)]) continue;
      const long d = Dist2(from, pts[q]);
      if (next < 0) {
        next = q;
        nextDist = d;
        continue;
      }
      // Further left, or as far and nearer: selects rather than branches.
      const long c = Cross(from, pts[next], pts[q]);
      const bool take = (c > 0) | ((c == 0) & (q != start) & (d < nextDist));
      next = take ? q : next;
      nextDist = take ? d : nextDist;
    }
    if (next < 0) {
      hull.clear();
      return;
    }
    hull.push_back(next);
    if (next == start) break;
    visited[size_t(next)] = 1;
    cur = next;
  }
  if (hull.size() <= 3) hull.clear();
}

}  // namespace

void convexHullInto(const std::vector<HullPoint> &pts, int limit, std::vector<int> &hull,
                    std::vector<uint8_t> &visited) {
  HullInto(pts, limit, hull, visited, false);
}

void distinctHullInto(const std::vector<HullPoint> &pts, int limit, std::vector<int> &hull,
                      std::vector<uint8_t> &visited) {
  HullInto(pts, limit, hull, visited, true);
}

std::vector<int> convexHull(const std::vector<HullPoint> &pts, int limit) {
  std::vector<int> hull;
  std::vector<uint8_t> visited;
  convexHullInto(pts, limit, hull, visited);
  return hull;
}

bool InsideHull(const std::vector<HullPoint> &pts, const std::vector<int> &hull, int x, int y) {
  // Every edge is tested: the crossings and the vertex match are summed
  // rather than branched on, since a point's side of an edge is as good as
  // random to the branch predictor.
  int winding = 0, vertex = 0;
  for (size_t i = 0; i + 1 < hull.size(); ++i) {
    const HullPoint &a = pts[size_t(hull[i])], &b = pts[size_t(hull[i + 1])];
    vertex |= (a.x == x) & (a.y == y);
    const long side = long(b.x - a.x) * (y - a.y) - long(x - a.x) * (b.y - a.y);
    winding += int((a.y <= y) & (y < b.y) & (side > 0)) - int((b.y <= y) & (y < a.y) & (side < 0));
  }
  return vertex | (winding != 0);
}

namespace {

// Inserts edge i into list by its key, rising; equal keys keep their order.
void InsertByKey(int *list, int *keys, int &count, int i, int key) {
  int at = count++;
  for (; at > 0 && keys[at - 1] > key; --at) {
    list[at] = list[at - 1];
    keys[at] = keys[at - 1];
  }
  list[at] = i;
  keys[at] = key;
}

// Entry k spans levels from[k] up to the next entry's start (the last one
// up to maxY).
void FillLevels(const int *from, int count, int minY, int maxY, uint8_t *at) {
  for (int k = 0; k < count; ++k) {
    const int end = k + 1 < count ? from[k + 1] : maxY;
    for (int y = from[k]; y < end; ++y) at[y - minY] = uint8_t(k);
  }
}

void MarkMonotone(HullEdgesB &e) {
  e.monotone = false;
  const int n = e.count;
  if (n < 2) return;
  int minY = e.ay[0], maxY = e.ay[0];
  for (int i = 1; i < n; ++i) {
    minY = e.ay[i] < minY ? e.ay[i] : minY;
    maxY = e.ay[i] > maxY ? e.ay[i] : maxY;
  }
  if (minY == maxY) return;
  // Turns between rising and falling around the closed walk: two at most.
  int turns = 0, last = 0;
  for (int i = 0; i < 2 * n; ++i) {
    const int dir = e.ey[i % n] > 0 ? 1 : e.ey[i % n] < 0 ? -1 : 0;
    if (dir == 0) {
      if (e.ay[i % n] != minY && e.ay[i % n] != maxY) return;
      continue;
    }
    if (last != 0 && dir != last && i >= n) ++turns;
    last = dir;
  }
  if (turns > 2) return;
  e.risingCount = e.fallingCount = 0;
  for (int i = 0; i < n; ++i) {
    if (e.ey[i] > 0) InsertByKey(e.rising, e.risingFrom, e.risingCount, i, e.ay[i]);
    if (e.ey[i] < 0) InsertByKey(e.falling, e.fallingFrom, e.fallingCount, i, e.by[i]);
  }
  e.minY = minY;
  e.maxY = maxY;
  e.monotone = true;
  e.levelled = maxY - minY <= HullEdgesB::kLevels;
  if (e.levelled) {
    FillLevels(e.risingFrom, e.risingCount, minY, maxY, e.risingAt);
    FillLevels(e.fallingFrom, e.fallingCount, minY, maxY, e.fallingAt);
  }
}

// The chain's edge whose half-open y span holds y, given minY < y < maxY:
// the last one starting at or below y.
int SpanAt(const int *from, int count, int y) {
  int below = 0;
  for (int i = 0; i < count; ++i) below += from[i] <= y;
  return below - 1;
}

long Side(const HullEdgesB &e, int i, int x, int y) {
  return long(e.ex[i]) * (long(y) - e.ay[i]) - (long(x) - e.ax[i]) * long(e.ey[i]);
}

}  // namespace

bool MakeHullEdges(const std::vector<HullPoint> &pts, const std::vector<int> &hull, HullEdgesB &edges) {
  edges.count = 0;
  if (hull.size() < 2 || hull.size() - 1 > size_t(HullEdgesB::kCapacity)) return false;
  bool narrow = true;
  for (size_t i = 0; i + 1 < hull.size(); ++i) {
    const HullPoint &a = pts[size_t(hull[i])], &b = pts[size_t(hull[i + 1])];
    narrow = narrow && Within(a.x, kNarrowLimit) && Within(a.y, kNarrowLimit);
    edges.ax[i] = a.x;
    edges.ay[i] = a.y;
    edges.by[i] = b.y;
    edges.ex[i] = b.x - a.x;
    edges.ey[i] = b.y - a.y;
  }
  edges.count = int(hull.size()) - 1;
  edges.narrow = narrow;
  MarkMonotone(edges);
  return true;
}

namespace {

// The two edges' test of a monotone hull for y off its lowest and highest
// levels.
inline bool InsideByEdges(const HullEdgesB &e, int u, int d, int inRange, int x, int y) {
  // A vertex at this level starts the rising edge or ends the falling one.
  const int vertex = (int(e.ax[u] == x) & int(e.ay[u] == y)) | (int(e.ax[d] + e.ex[d] == x) & int(e.by[d] == y));
  const int winding = int(Side(e, u, x, y) > 0) - int(Side(e, d, x, y) < 0);
  return inRange & (vertex | int(winding != 0));
}

inline bool InsideLevelled(const HullEdgesB &e, int x, int y) {
  const int inRange = int(y > e.minY) & int(y < e.maxY);
  const int level = inRange ? y - e.minY : 0;
  return InsideByEdges(e, e.rising[e.risingAt[level]], e.falling[e.fallingAt[level]], inRange, x, y);
}

}  // namespace

bool InsideHullEdges(const HullEdgesB &e, int x, int y) {
  if (e.monotone && y != e.minY && y != e.maxY) {
    // Outside the y range nothing crosses and no vertex matches; inside it
    // two edges decide. The index is kept valid either way, the range
    // applied last.
    if (e.levelled) return InsideLevelled(e, x, y);
    const int inRange = int(y > e.minY) & int(y < e.maxY);
    int u, d;
    {
      const int ru = SpanAt(e.risingFrom, e.risingCount, y), fd = SpanAt(e.fallingFrom, e.fallingCount, y);
      u = e.rising[ru < 0 ? 0 : ru];
      d = e.falling[fd < 0 ? 0 : fd];
    }
    return InsideByEdges(e, u, d, inRange, x, y);
  }
  int winding = 0, vertex = 0;
  const int n = e.count;
  if (e.narrow && Within(x, kNarrowLimit) && Within(y, kNarrowLimit)) {
    // Differences stay within 15 bits, so each product and the side fit in
    // 32 bits.
    for (int i = 0; i < n; ++i) {
      const int dx = x - e.ax[i], dy = y - e.ay[i];
      const int side = e.ex[i] * dy - dx * e.ey[i];
      vertex |= (dx == 0) & (dy == 0);
      winding += ((dy >= 0) & (y < e.by[i]) & (side > 0)) - ((e.by[i] <= y) & (dy < 0) & (side < 0));
    }
  } else {
    for (int i = 0; i < n; ++i) {
      const long dx = long(x) - e.ax[i], dy = long(y) - e.ay[i];
      const long side = long(e.ex[i]) * dy - dx * long(e.ey[i]);
      vertex |= (dx == 0) & (dy == 0);
      winding += int((dy >= 0) & (y < e.by[i]) & (side > 0)) - int((e.by[i] <= y) & (dy < 0) & (side < 0));
    }
  }
  return vertex | (winding != 0);
}

bool MakeHull(const std::vector<HullPoint> &source, int limit, HullScratchB &h) {
  DistinctPositionsInto(source, h.distinct);
  distinctHullInto(h.distinct, limit < 0 ? int(h.distinct.size()) + 1 : limit, h.hull, h.visited);
  if (h.hull.empty()) return false;
  h.fits = MakeHullEdges(h.distinct, h.hull, h.edges);
  return true;
}

bool InsideMadeHull(const HullScratchB &h, int x, int y) {
  return h.fits ? InsideHullEdges(h.edges, x, y) : InsideHull(h.distinct, h.hull, x, y);
}

int CountInsideMadeHull(const HullScratchB &h, const int *xs, const int *ys, int n) {
  int count = 0;
  if (!h.fits) {
    for (int i = 0; i < n; ++i) count += InsideHull(h.distinct, h.hull, xs[i], ys[i]);
    return count;
  }
  const HullEdgesB &e = h.edges;
  if (!e.monotone || !e.levelled) {
    for (int i = 0; i < n; ++i) count += InsideHullEdges(e, xs[i], ys[i]);
    return count;
  }
  // The two-edge test in line; the lowest and highest levels, rare, take
  // the full one.
  for (int i = 0; i < n; ++i) {
    const int x = xs[i], y = ys[i];
    count += ((y == e.minY) | (y == e.maxY)) ? InsideHullEdges(e, x, y) : InsideLevelled(e, x, y);
  }
  return count;
}

int countInsideHull(const std::vector<HullPoint> &points, const std::vector<HullPoint> &source,
                    HullScratchB &scratch) {
  if (!MakeHull(source, -1, scratch)) return -1;
  constexpr size_t kBatch = 256;
  int count = 0, xs[kBatch], ys[kBatch];
  for (size_t at = 0; at < points.size(); at += kBatch) {
    const int n = int(points.size() - at < kBatch ? points.size() - at : kBatch);
    for (int i = 0; i < n; ++i) {
      xs[i] = points[at + size_t(i)].x;
      ys[i] = points[at + size_t(i)].y;
    }
    count += CountInsideMadeHull(scratch, xs, ys, n);
  }
  return count;
}

int countInsideHull(const std::vector<HullPoint> &points, const std::vector<HullPoint> &source) {
  // A one-off count: the scratch (some 15 KB) is not worth a stack.
  const auto scratch = std::make_unique<HullScratchB>();
  return countInsideHull(points, source, *scratch);
}

}  // namespace fplib
