// Dense remap maps from a calibration grid: for every corrected pixel its
// sensor position in 8.8 fixed point.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "calibration_record.h"

namespace belnor {

struct FreeDeleter {
  void operator()(void *p) const { std::free(p); }
};
using MapBuffer = std::unique_ptr<int32_t[], FreeDeleter>;

struct RemapMaps {
  int width = 0, height = 0;
  MapBuffer x, y;
};

// Entries allocated per map: the corrected pixels plus the slack row and
// column the maps have always carried, all zeroed.
size_t RemapMapEntries(int width, int height);

// Corrected-image size of a grid: its last positions, each raised to even.
void CorrectedSize(const CalibGrid &grid, int *width, int *height);

// When both last positions are even integers every position from 1 on moves
// down by one, so that the last node falls on the last pixel.
void LowerEvenPositions(CalibGrid *grid);

// Node (i, j) of the target grid = (columns[j], rows[i]).
std::vector<SensorPoint> BuildTargetGrid(const std::vector<float> &columns,
                                         const std::vector<float> &rows, int nx, int ny);

// out[n] = ramp from..to for s = s0, s0 + 1, ... while s <= s1, at most
// limit values. Returns the count written.
int LinearRamp(float *out, float from, float to, float s0, float s1, int limit);

// Fills the first width * height entries of both maps from the grid's cells.
// Each cell's rows and columns are clipped to the image, so a cell reaching
// the right edge never spills into the next row.
void BuildRemapMaps(int32_t *mapX, int32_t *mapY, int width, int height,
                    const std::vector<SensorPoint> &source, const std::vector<SensorPoint> &target,
                    int nx, int ny);

// True when every pixel's sensor position and its right and lower neighbours
// lie inside a sensorWidth x sensorHeight frame.
bool RemapMapsInside(const int32_t *mapX, const int32_t *mapY, int width, int height,
                     int sensorWidth, int sensorHeight);

enum class MapBuild { kBuilt, kImplausible, kNoMemory };

// Lowers, checks and turns a grid into maps for the given sensor.
MapBuild MakeRemapMaps(CalibGrid grid, int sensorWidth, int sensorHeight, RemapMaps *maps);

}  // namespace belnor
