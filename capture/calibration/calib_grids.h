// Built-in calibration grids of the scanner types that have optics.
#pragma once

namespace belnor {

// A grid of control points: node (row i, column j) of the corrected image
// lies at (columns[j], rows[i]) and is seen on the sensor at
// (points[2 (i nx + j)], points[2 (i nx + j) + 1]).
struct BuiltinGrid {
  int deviceType;
  int nx, ny;
  const float *columns;  // nx corrected-image positions, rising
  const float *rows;     // ny corrected-image positions, rising
  const float *points;   // 2 nx ny sensor coordinates, row-major
  int sensorWidth, sensorHeight;
};

// The built-in grid of a device type, or null for a type without optics (3).
const BuiltinGrid *FindBuiltinGrid(int deviceType);

}  // namespace belnor
