// Matcher B's per-set working data: the pair grid by distance and angle
// difference, per-point lists into it, spatial point groups and the first
// set's triangles with their candidates in the second set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "matcher_b_points.h"

namespace fplib {

constexpr int kGridRows = 26;     // distance rows in use
constexpr int kGridColumns = 72;  // angle-difference columns in use
constexpr int kMaxTriangles = 120;
constexpr int kMaxTriangleCandidates = 8;
constexpr int kPairListSlots = 119;  // references per point

struct PairItemB {
  int16_t from, to, angle;  // angle: from-point's angle against the pair direction
};

struct PairRefB {
  int row, column, item;
  int from, angle;  // the item's from-point and angle, kept here to spare the grid lookup
};

struct PairGridB {
  // Both contexts get the same extent, so clearing one can never run past
  // the cells of the other.
  int rows = kGridRows + 1, columns = kGridColumns + 1;
  std::vector<std::vector<PairItemB>> cells;
  std::vector<uint64_t> filled;  // bit per cell that holds items, so that clearing and listing skip the rest
  std::vector<PairItemB> &at(int r, int c) { return cells[size_t(r) * size_t(columns) + size_t(c)]; }
  const std::vector<PairItemB> &at(int r, int c) const {
    return cells[size_t(r) * size_t(columns) + size_t(c)];
  }
};

struct PointGroupB {
  int x = 0, y = 0;  // centre
  int capacity = 0;
  std::vector<int> members;
  // Local alignment, written by the pairing; starts invalid so that the
  // first candidate collection reads a defined value.
  int valid = 0, rotation = 0, dx = 0, dy = 0;
};

struct GroupSetB {
  int current = -1;  // anchor group, none at start
  std::vector<PointGroupB> groups;  // merged groups stay as empty slots
  std::vector<int> pointToGroup;    // -1: no group
  std::vector<int> groupMark;       // tolerance category cache, -1 unknown
};

// A list of at most N entries held in place: no allocation, so triangles
// made again for every first set cost nothing on the heap.
template <class T, size_t N>
class FixedListB {
 public:
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  void clear() { count_ = 0; }
  void resize(size_t n) { count_ = n; }  // callers only shrink
  // Callers keep to N entries.
  void push_back(const T &v) { items_[count_++] = v; }
  T &operator[](size_t i) { return items_[i]; }
  const T &operator[](size_t i) const { return items_[i]; }
  T *begin() { return items_; }
  T *end() { return items_ + count_; }
  const T *begin() const { return items_; }
  const T *end() const { return items_ + count_; }

 private:
  T items_[N] = {};
  size_t count_ = 0;
};

struct TriangleCandidate {
  int c0, c1, c2;  // second-set points for p1, p2, p3
  int valid;
  int rotation;
  int cost;
};

struct TriangleB {
  int p1 = 0, p2 = 0, p3 = 0;
  int lenAB = 0, lenAC = 0, lenCB = 0;
  int turnAB = 0, turnAC = 0, turnCB = 0;
  int sideBA = 0, sideCB = 0, sideAC = 0;
  FixedListB<TriangleCandidate, kMaxTriangleCandidates> candidates;
};

struct MatcherBContext {
  const PointSetB *points = nullptr;
  std::vector<std::vector<PairRefB>> pairLists;  // per point, rising rows
  PairGridB grid;
  std::vector<TriangleB> triangles;  // first context only
  std::vector<std::vector<PairRefB>> fromLists;  // per point, its items as a grid scan meets them (near triangles)
  int candidateTotal = 0;            // triangle candidates of the whole run
  GroupSetB groups;
};

// Allocates lists and grid; false on allocation failure. A context made
// before is kept as it is.
bool createMatcherBContext(MatcherBContext &ctx, bool withTriangles);

// Files every pair closer than 130 into the grid (twice, once per order)
// and rebuilds the per-point lists.
int buildPairGridB(const PointSetB &points, PairGridB &grid, std::vector<std::vector<PairRefB>> &lists);
void clearPairGrid(PairGridB &grid, std::vector<std::vector<PairRefB>> &lists);

// The grid item a per-point reference names.
inline const PairItemB &RefItem(const MatcherBContext &ctx, const PairRefB &ref) {
  return ctx.grid.at(ref.row, ref.column)[size_t(ref.item)];
}

// Spatial groups of radius about 40 over the points in the given order.
int groupPointsB(GroupSetB &groups, const std::vector<int> &indices, const PointSetB &points);

int buildTrianglesNear(MatcherBContext &ctx);
int buildTrianglesWide(MatcherBContext &ctx, bool strict);

// Groups, grid and triangles of the first set; 1 when a triangle exists.
int prepareMatcherBContext(MatcherBContext &first);

}  // namespace fplib
