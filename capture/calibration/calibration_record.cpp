// Stored calibration record: CRC, header checks and data decoding.
#include "calibration_record.h"

#include <array>

#include "bmp_format.h"

namespace belnor {
namespace {

constexpr float kMargin = 2.0f;  // pixels between a control point and the sensor edge

std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i << 16;
    for (int k = 0; k < 8; ++k)
      if (c & (1u << (23 - k))) c ^= 0xC01080u >> k;
    table[i] = uint16_t(c);
  }
  return table;
}

bool StrictlyRisingFromZero(const std::vector<float> &v) {
  if (v.empty() || v[0] != 0.0f) return false;
  for (size_t i = 1; i < v.size(); ++i)
    if (!(v[i] > v[i - 1])) return false;
  return true;
}

}  // namespace

uint16_t CalibCrc16(const uint8_t *data, size_t length) {
  static const std::array<uint16_t, 256> table = MakeCrcTable();
  uint32_t reg = 0xC010;
  for (size_t i = 0; i < length; ++i) reg = (table[reg >> 8] ^ ((reg << 8) | data[i])) & 0xFFFF;
  return uint16_t(reg);
}

CalibHeader ParseCalibHeader(const uint8_t *b) {
  return {ReadLe16(b), ReadLe16(b + 2), ReadLe16(b + 4), ReadLe16(b + 6),
          ReadLe16(b + 8), ReadLe16(b + 10), ReadLe16(b + 12), ReadLe16(b + 14)};
}

size_t CalibDataLength(const CalibHeader &h) {
  if (h.magic != kCalibMagic || h.version != kCalibVersion) return 0;
  if (h.size >= kCalibMaxDataSize || h.nx < 2 || h.ny < 2) return 0;
  // The shape decides how much is read; it must agree with the size field,
  // which bounds the grid to a few hundred nodes.
  const size_t values = 2 * size_t(h.nx) * h.ny + h.nx + h.ny;
  if (2 * values != h.size) return 0;
  return h.size;
}

bool CalibGridPlausible(const CalibGrid &g, int sensorWidth, int sensorHeight) {
  if (g.nx < 2 || g.ny < 2) return false;
  if (g.columns.size() != size_t(g.nx) || g.rows.size() != size_t(g.ny)) return false;
  if (g.points.size() != size_t(g.nx) * g.ny) return false;
  // Equal positions would make zero-width cells; a gap before the first node
  // would leave pixels without a sensor position.
  if (!StrictlyRisingFromZero(g.columns) || !StrictlyRisingFromZero(g.rows)) return false;
  if (g.columns.back() > float(sensorWidth) || g.rows.back() > float(sensorHeight)) return false;
  const float maxX = float(sensorWidth) - 1 - kMargin, maxY = float(sensorHeight) - 1 - kMargin;
  for (int i = 0; i < g.ny; ++i) {
    for (int j = 0; j < g.nx; ++j) {
      const SensorPoint &p = g.points[size_t(i) * g.nx + j];
      if (!(p.x >= kMargin && p.x <= maxX && p.y >= kMargin && p.y <= maxY)) return false;
      // Rising x keeps each cell's top and bottom widths positive, so the
      // perspective parameter of the map builder never divides by zero.
      if (j > 0 && !(p.x > g.points[size_t(i) * g.nx + j - 1].x)) return false;
      if (i > 0 && !(p.y > g.points[size_t(i - 1) * g.nx + j].y)) return false;
    }
  }
  return true;
}

bool ParseCalibData(const CalibHeader &h, const uint8_t *data, size_t length, int sensorWidth,
                    int sensorHeight, CalibGrid *grid) {
  const size_t need = CalibDataLength(h);
  if (need == 0 || length < need) return false;
  if (h.crc != 0 && CalibCrc16(data, need) != h.crc) return false;
  CalibGrid g;
  g.nx = h.nx;
  g.ny = h.ny;
  const size_t nodes = size_t(h.nx) * h.ny;
  const uint8_t *p = data;
  auto next = [&p] {
    const float v = float(ReadLe16(p)) / 10.0f;
    p += 2;
    return v;
  };
  g.points.resize(nodes);
  for (SensorPoint &s : g.points) {
    s.x = next();
    s.y = next();
  }
  g.columns.resize(h.nx);
  for (float &c : g.columns) c = next();
  g.rows.resize(h.ny);
  for (float &r : g.rows) r = next();

  // Positions and points are checked against the sensor width the record
  // names, and against the device's own sensor with a margin.
  const float recordWidth = float(h.sensorWidth);
  for (float c : g.columns)
    if (c > recordWidth) return false;
  for (float r : g.rows)
    if (r > recordWidth) return false;
  if (g.columns.back() == 0.0f) return false;
  for (const SensorPoint &s : g.points)
    if (s.x > recordWidth) return false;
  if (!CalibGridPlausible(g, sensorWidth, sensorHeight)) return false;
  *grid = std::move(g);
  return true;
}

CalibGrid GridFromBuiltin(const BuiltinGrid &b) {
  CalibGrid g;
  g.nx = b.nx;
  g.ny = b.ny;
  g.columns.assign(b.columns, b.columns + b.nx);
  g.rows.assign(b.rows, b.rows + b.ny);
  g.points.resize(size_t(b.nx) * b.ny);
  for (size_t k = 0; k < g.points.size(); ++k) g.points[k] = {b.points[2 * k], b.points[2 * k + 1]};
  return g;
}

}  // namespace belnor
