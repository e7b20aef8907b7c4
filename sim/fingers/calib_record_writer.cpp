#include "calib_record_writer.h"

#include <cmath>

namespace belnor::sim {
namespace {

void PutLe16(std::vector<uint8_t> *out, unsigned v) {
  out->push_back(uint8_t(v & 0xFF));
  out->push_back(uint8_t((v >> 8) & 0xFF));
}

unsigned Tenths(float v) { return unsigned(std::lround(double(v) * 10.0)); }

}  // namespace

std::vector<uint8_t> EncodeCalibRecord(const CalibGrid &grid, int sensorWidth, int sensorHeight,
                                       bool crc) {
  std::vector<uint8_t> data;
  for (const SensorPoint &p : grid.points) {
    PutLe16(&data, Tenths(p.x));
    PutLe16(&data, Tenths(p.y));
  }
  for (float c : grid.columns) PutLe16(&data, Tenths(c));
  for (float r : grid.rows) PutLe16(&data, Tenths(r));
  std::vector<uint8_t> out;
  PutLe16(&out, kCalibMagic);
  PutLe16(&out, kCalibVersion);
  PutLe16(&out, unsigned(data.size()));
  PutLe16(&out, unsigned(grid.nx));
  PutLe16(&out, unsigned(grid.ny));
  PutLe16(&out, unsigned(sensorWidth));
  PutLe16(&out, unsigned(sensorHeight));
  PutLe16(&out, crc ? CalibCrc16(data.data(), data.size()) : 0u);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

CalibGrid TranslationGrid(int width, int height, float dx, float dy) {
  // Last positions one below the (even) size: odd, so nothing is lowered and
  // the last node falls on the last pixel.
  const float w = float(width - 1), h = float(height - 1);
  CalibGrid g;
  g.nx = g.ny = 2;
  g.columns = {0.0f, w};
  g.rows = {0.0f, h};
  g.points = {{dx, dy}, {w + dx, dy}, {dx, h + dy}, {w + dx, h + dy}};
  return g;
}

std::vector<uint8_t> BuiltinCalibRecord(int deviceType) {
  const BuiltinGrid *g = FindBuiltinGrid(deviceType);
  if (g == nullptr) return {};
  return EncodeCalibRecord(GridFromBuiltin(*g), g->sensorWidth, g->sensorHeight);
}

}  // namespace belnor::sim
