// Scratch of the rotation votes, the translation grouping and the group
// ranking, kept with the search state: it stops allocating once grown, and
// its per-triangle tables (some 100 KB) stay off the caller's stack, which
// may be a host's small one.
#pragma once

#include <cstdint>
#include <vector>

#include "matcher_b_context.h"

namespace fplib {

struct ShiftRecordB {
  int triangle, candidate, dx, dy;
};
struct ShiftSeedB {
  int triangles, dx, dy;
  bool spent;
};

// Shifts of a row's records side by side, for the grouping's gathers.
struct ShiftLanesB {
  static constexpr int kCapacity = kMaxTriangles * kMaxTriangleCandidates;
  int count;
  int x[kCapacity], y[kCapacity];
  int in[kCapacity], covered[kCapacity];
};

// The sides' directions of each triangle's candidates and the triangles'
// tolerances, the same for every rotation row: worked out once per search,
// on first use.
struct SideDirectionsB {
  int a, b, c;
  bool ok;
};
struct SideTolerancesB {
  int a, b, c, limit;
};
struct DirectionCacheB {
  // Candidates of triangles whose own sides have directions, in triangle
  // then candidate order, with their rotations side by side: each row
  // picks its window from these in one pass without branches.
  static constexpr int kEntries = kMaxTriangles * kMaxTriangleCandidates;
  int entryCount;
  int rotation[kEntries];
  uint16_t entry[kEntries];  // triangle * kMaxTriangleCandidates + candidate
  uint16_t inWindow[kEntries];
  ShiftLanesB lanes;
  SideDirectionsB candidate[kMaxTriangles][kMaxTriangleCandidates];
  uint8_t known[kMaxTriangles][kMaxTriangleCandidates];
  SideTolerancesB tolerance[kMaxTriangles];
  bool toleranceKnown[kMaxTriangles];
};

// The sides p2 -> p1, p3 -> p1, p3 -> p2 of a triangle (c1 -> c0, c2 -> c0,
// c2 -> c1 of a candidate), each with whether it is defined.
struct TriangleSideGeometryB {
  SideGeometryB g[3];
  bool ok[3];
};

// Side geometry of the triangles and their candidates, the same for every
// group and rotation: worked out once per ranking, on first use.
struct SideCacheB {
  TriangleSideGeometryB triangle[kMaxTriangles];
  TriangleSideGeometryB candidate[kMaxTriangles][kMaxTriangleCandidates];
  uint8_t known[kMaxTriangles][kMaxTriangleCandidates];
  bool triangleKnown[kMaxTriangles];
};

struct GroupingScratchB {
  // Rotation votes: per triangle, its candidates' rotations as a bit set.
  uint64_t rotationBits[kMaxTriangles][6];
  // Translation grouping.
  std::vector<ShiftRecordB> recs;
  std::vector<ShiftSeedB> seeds;
  std::vector<uint8_t> minutia;
  std::vector<int> members, seen;
  DirectionCacheB directions;
  // Group ranking.
  std::vector<int> costs;
  SideCacheB sides;
};

}  // namespace fplib
