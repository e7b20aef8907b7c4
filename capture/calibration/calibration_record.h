// The calibration record stored in the scanner's flash: header, control
// points and grid positions, all little-endian 16-bit values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "calib_grids.h"

namespace belnor {

constexpr uint16_t kCalibMagic = 0x4241;  // "AB"
constexpr uint16_t kCalibVersion = 0x0110;
constexpr size_t kCalibHeaderSize = 16;
constexpr unsigned kCalibMaxDataSize = 2000;  // the size field stays below this

struct SensorPoint {
  float x, y;
};

// A calibration grid in float pixels: corrected-image node positions and the
// sensor point seen at each node (row-major, nx per row).
struct CalibGrid {
  int nx = 0, ny = 0;
  std::vector<float> columns, rows;
  std::vector<SensorPoint> points;
};

struct CalibHeader {
  uint16_t magic, version, size, nx, ny, sensorWidth, sensorHeight, crc;
};

uint16_t CalibCrc16(const uint8_t *data, size_t length);

CalibHeader ParseCalibHeader(const uint8_t *bytes);

// Bytes of data that follow an acceptable header, or 0 when the header is
// not acceptable (magic, version, grid shape, or a size field that differs
// from the length the grid shape needs).
size_t CalibDataLength(const CalibHeader &header);

// Decodes and checks the data of an acceptable header. The sensor size is the
// device's: every control point keeps the 2-pixel margin inside it, so that
// the remap never reads outside a frame. False for any implausible grid.
bool ParseCalibData(const CalibHeader &header, const uint8_t *data, size_t length,
                    int sensorWidth, int sensorHeight, CalibGrid *grid);

// Shape checks that every grid must pass before maps are built from it:
// rising positions from 0, corrected image no larger than the sensor, points
// rising along rows and columns and inside the sensor margin.
bool CalibGridPlausible(const CalibGrid &grid, int sensorWidth, int sensorHeight);

CalibGrid GridFromBuiltin(const BuiltinGrid &builtin);

}  // namespace belnor
