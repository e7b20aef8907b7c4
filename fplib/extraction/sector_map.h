// The half-resolution view of a direction field that the reference point
// search walks: a cleaned foreground mask, its vertical limits and row
// extents, a map of eight direction sectors, row classes and the search bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fplib {

constexpr int kMapSize = 200;
// Placement of the 128 x 180 half-resolution image in the 200 x 200 grids.
constexpr int kMapTop = 10, kMapLeft = 36;

struct SectorMap {
  std::vector<uint8_t> mask = std::vector<uint8_t>(kMapSize * kMapSize, 0);
  std::vector<uint8_t> sector = std::vector<uint8_t>(kMapSize * kMapSize, 0);  // 0 none, 1..8
  int left[kMapSize], right[kMapSize];  // row extents; 195 and 5 when empty
  int top = 5, bottom = 195;
  int searchBound = 195;
  uint8_t rowClass[kMapSize] = {};

  SectorMap();
  // Back to the state of a new map, keeping the storage.
  void Reset();
  // Sector of a cell; 0 outside the grid.
  int S(int r, int c) const {
    return r < 0 || c < 0 || r >= kMapSize || c >= kMapSize ? 0 : sector[size_t(r) * kMapSize + c];
  }
  uint8_t &Mask(int r, int c) { return mask[size_t(r) * kMapSize + c]; }
};

// Sector 1..8 of a direction 0..119: 1 near horizontal (0..7), then 8, 7, ..
int sectorOfDirection(int direction);
// Builds every part of the map from an 84 x 119 direction field (bit 7 background).
void buildSectorMap(const uint8_t *field, SectorMap &map);
// Majority filter, region erasing (steps of buildSectorMap, exposed for tests).
void filterMask(SectorMap &map);
void eraseNarrowRegions(SectorMap &map);
// Class of a row and the search bound from the sector map and extents.
void classifyRows(SectorMap &map);
// Turning of the sectors around a cell on two rings: negative minus positive
// steps; 0 near the border, -10 without both ridge families nearby.
int windingIndex(const SectorMap &map, int r, int c);

}  // namespace fplib
