// Convex hulls by gift wrapping and the inside counts built on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fplib {

struct HullPoint {
  int x, y;
  int id;  // caller's index, carried through
};

// Hull vertices (indices into pts) with the start repeated at the end;
// empty on failure: fewer than 3 points, more steps than the limit, or a
// hull of 3 entries or fewer.
std::vector<int> convexHull(const std::vector<HullPoint> &pts, int limit);
// The same into storage the caller keeps (visited: scratch).
void convexHullInto(const std::vector<HullPoint> &pts, int limit, std::vector<int> &hull,
                    std::vector<uint8_t> &visited);
// The same for points at distinct positions, quicker: points that cannot
// be vertices are left out of the walk.
void distinctHullInto(const std::vector<HullPoint> &pts, int limit, std::vector<int> &hull,
                      std::vector<uint8_t> &visited);

// Drops later points at an already listed position.
std::vector<HullPoint> DistinctPositions(const std::vector<HullPoint> &pts);
void DistinctPositionsInto(const std::vector<HullPoint> &pts, std::vector<HullPoint> &out);

// Winding test against a closed hull; a hull vertex's own position counts.
bool InsideHull(const std::vector<HullPoint> &pts, const std::vector<int> &hull, int x, int y);

// A closed hull's edges laid out for the inside test of many points: the
// same answers as InsideHull, in 32-bit arithmetic where the coordinates
// allow it.
struct HullEdgesB {
  static constexpr int kCapacity = 256;
  int count = 0;
  bool narrow = false;  // every vertex within +-kNarrowLimit
  int ax[kCapacity], ay[kCapacity], by[kCapacity], ex[kCapacity], ey[kCapacity];
  // A hull whose y rises along one chain and falls along the other, with
  // level edges only at its lowest and highest y: a level strictly between
  // them meets exactly one rising and one falling edge, and only their
  // ends can be vertices at that level. Rising edges by their lower end,
  // falling ones by theirs; entries index the edge arrays.
  bool monotone = false;
  int minY = 0, maxY = 0;
  int risingCount = 0, fallingCount = 0;
  int risingFrom[kCapacity], fallingFrom[kCapacity];  // lower end's y
  int rising[kCapacity], falling[kCapacity];
  // Per level from minY, the rising and falling list entries spanning it,
  // when the y range is at most kLevels high.
  static constexpr int kLevels = 2048;
  bool levelled = false;
  uint8_t risingAt[kLevels], fallingAt[kLevels];
};
constexpr int kNarrowLimit = 16383;

// False when the hull has more edges than the capacity (the caller then
// keeps to InsideHull).
bool MakeHullEdges(const std::vector<HullPoint> &pts, const std::vector<int> &hull, HullEdgesB &edges);
bool InsideHullEdges(const HullEdgesB &edges, int x, int y);

// A hull made from a point list, kept so that its storage stops allocating
// once grown.
struct HullScratchB {
  std::vector<HullPoint> distinct;
  std::vector<int> hull;
  std::vector<uint8_t> visited;
  bool fits = false;  // edges laid out
  HullEdgesB edges;
};

// The hull of source's distinct positions (a step limit of -1: one more than
// their count); false when none forms.
bool MakeHull(const std::vector<HullPoint> &source, int limit, HullScratchB &h);
// Inside test against the hull MakeHull made.
bool InsideMadeHull(const HullScratchB &h, int x, int y);
// How many of the n points (xs[i], ys[i]) pass that test.
int CountInsideMadeHull(const HullScratchB &h, const int *xs, const int *ys, int n);

// How many of `points` lie inside the hull of `source`; -1 when no hull forms.
int countInsideHull(const std::vector<HullPoint> &points, const std::vector<HullPoint> &source);
int countInsideHull(const std::vector<HullPoint> &points, const std::vector<HullPoint> &source,
                    HullScratchB &scratch);

}  // namespace fplib
