#include "matcher_b_hull.h"

namespace fplib {

namespace {

long Cross(const HullPoint &o, const HullPoint &a, const HullPoint &b) {
  return long(a.x - o.x) * (b.y - o.y) - long(a.y - o.y) * (b.x - o.x);
}

long Dist2(const HullPoint &a, const HullPoint &b) {
  return long(a.x - b.x) * (a.x - b.x) + long(a.y - b.y) * (a.y - b.y);
}

}  // namespace

void DistinctPositionsInto(const std::vector<HullPoint> &pts, std::vector<HullPoint> &out) {
  out.clear();
  for (const HullPoint &p : pts) {
    bool seen = false;
    for (const HullPoint &q : out) seen = seen || (q.x == p.x && q.y == p.y);
    if (!seen) out.push_back(p);
  }
}

std::vector<HullPoint> DistinctPositions(const std::vector<HullPoint> &pts) {
  std::vector<HullPoint> out;
  DistinctPositionsInto(pts, out);
  return out;
}

void convexHullInto(const std::vector<HullPoint> &pts, int limit, std::vector<int> &hull,
                    std::vector<uint8_t> &visited) {
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
  visited.assign(size_t(n), 0);
  int cur = start;
  // The step limit also ends a walk that degenerate input keeps going.
  for (int steps = 0;; ++steps) {
    if (steps > limit) {
      hull.clear();
      return;
    }
    int next = -1;
    for (int q = 0; q < n; ++q) {
      // A vertex already walked is never next: on a straight edge it would
      // turn the walk back.
      if (q == cur || visited[size_t(q)]) continue;
      if (next < 0) {
        next = q;
        continue;
      }
      const long c = Cross(pts[cur], pts[next], pts[q]);
      if (c > 0 || (c == 0 && q != start && Dist2(pts[cur], pts[q]) < Dist2(pts[cur], pts[next]))) next = q;
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

std::vector<int> convexHull(const std::vector<HullPoint> &pts, int limit) {
  std::vector<int> hull;
  std::vector<uint8_t> visited;
  convexHullInto(pts, limit, hull, visited);
  return hull;
}

bool InsideHull(const std::vector<HullPoint> &pts, const std::vector<int> &hull, int x, int y) {
  int winding = 0;
  for (size_t i = 0; i + 1 < hull.size(); ++i) {
    const HullPoint &a = pts[size_t(hull[i])], &b = pts[size_t(hull[i + 1])];
    if (a.x == x && a.y == y) return true;
    const long side = long(b.x - a.x) * (y - a.y) - long(x - a.x) * (b.y - a.y);
    if (a.y <= y && y < b.y && side > 0) ++winding;
    if (b.y <= y && y < a.y && side < 0) --winding;
  }
  return winding != 0;
}

int countInsideHull(const std::vector<HullPoint> &points, const std::vector<HullPoint> &source) {
  const std::vector<HullPoint> distinct = DistinctPositions(source);
  const std::vector<int> hull = convexHull(distinct, int(distinct.size()) + 1);
  if (hull.empty()) return -1;
  int count = 0;
  for (const HullPoint &p : points) count += InsideHull(distinct, hull, p.x, p.y);
  return count;
}

}  // namespace fplib
