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
constexpr int kListRowSlots = kGridRows + 2;

struct PairItemB {
  int16_t from, to, angle;  // angle: from-point's angle against the pair direction
};

struct PairRefB {
  int row, column, item;
  int from, angle;  // the item's from-point and angle, kept here to spare the grid lookup
};

// A grid item with its points' angles, for scans over a range of cells,
// and the cell it is filed in.
struct PairScanB : PairItemB {
  int16_t fromAngle, toAngle, cell;
};

// The items of one cell.
struct CellItemsB {
  const PairScanB *first, *last;
  const PairScanB *begin() const { return first; }
  const PairScanB *end() const { return last; }
  size_t size() const { return size_t(last - first); }
  bool empty() const { return first == last; }
  const PairScanB &operator[](size_t i) const { return first[i]; }
};

constexpr int kGridStride = kGridColumns + 1;  // cells per grid row

struct PairGridB {
  int rows = kGridRows + 1, columns = kGridStride;
  // The items of all cells in cell order: cell i holds scan[cellStart[i]] up
  // to scan[cellStart[i + 1]], so that neighbouring cells of a row are one
  // range. cellStart has two entries more than there are cells.
  std::vector<PairScanB> scan;
  std::vector<uint16_t> cellStart;
  // Scratch of the build: items as they are filed.
  std::vector<PairScanB> filed;
  // Per point, kListRowSlots entries: the first of its list's entries at
  // row r or above.
  std::vector<uint8_t> listRowStart;
  CellItemsB at(int r, int c) const {
    const size_t cell = size_t(r) * size_t(columns) + size_t(c);
    return {scan.data() + cellStart[cell], scan.data() + cellStart[cell + 1]};
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

// A point's first neighbours in its pair list (rows up to 12), all and those
// of larger index, with the side from each of the first to the point: the
// same for every search of the set, so made with its grid.
constexpr int kNearNeighbours = 5;
struct NearNeighboursB {
  int count = 0, laterCount = 0;
  int point[kNearNeighbours] = {}, later[kNearNeighbours] = {};
  int length[kNearNeighbours] = {}, direction[kNearNeighbours] = {};
  bool valid[kNearNeighbours] = {};  // false when the side is beyond the tables
};

struct MatcherBContext {
  const PointSetB *points = nullptr;
  std::vector<std::vector<PairRefB>> pairLists;  // per point, rising rows
  PairGridB grid;
  std::vector<TriangleB> triangles;  // first context only
  std::vector<std::vector<PairRefB>> fromLists;  // per point, its items as a grid scan meets them (near triangles)
  std::vector<NearNeighboursB> near;  // per point, first context only
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

// Fills ctx.near from the pair lists.
void buildNearNeighbours(MatcherBContext &ctx);

int buildTrianglesNear(MatcherBContext &ctx);
int buildTrianglesWide(MatcherBContext &ctx, bool strict);

// Groups, grid and triangles of the first set; 1 when a triangle exists.
int prepareMatcherBContext(MatcherBContext &first);

}  // namespace fplib
