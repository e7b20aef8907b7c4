// The reference point of a finger, searched in the front end's direction
// field (84x119 cells, bit 7 background): sector-1 runs are followed down the
// finger, judged by their widths and bordering sectors, and the chosen point
// is refined.
#pragma once

#include <cstdint>
#include <vector>

#include "sector_map.h"

namespace fplib {

// A trace's candidate for the point: where it ends (or peaks) and its score.
struct RefCandidate {
  int length, row, middle, lo, hi, score;
};
// Index of the chosen candidate, or -1: the best score among those near
// enough to the limit row, then the last candidate that lies on the first
// choice's run a little further down.
int chooseCandidate(const std::vector<RefCandidate> &candidates, int limitRow);

// 0 with point = (x, y) in image pixels (both even), or -1 when no point was
// found; point is left untouched then. Throws std::bad_alloc.
int locateRefPoints(const uint8_t *field, uint16_t point[2]);
// The search on a prepared map; the point in map cells (row, column).
int searchRefPoint(const SectorMap &map, int &row, int &col);

}  // namespace fplib
