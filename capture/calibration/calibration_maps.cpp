// Map building: cells of the calibration grid filled with the perspective of
// a trapezoid between their four sensor corners.
#include "calibration_maps.h"

#include <algorithm>
#include <cmath>

namespace belnor {
namespace {

int RoundHalfUp(float v) { return int(v + 0.5f); }

struct Cell {
  float x0, y0, w, h;
  SensorPoint a, b, c, d;  // top-left, top-right, bottom-left, bottom-right on the sensor
  int column, row;         // first pixel written
};

// Interpolation parameter down the cell at output row k: the trapezoid's
// perspective, plain k / h when top and bottom widths are equal.
float PerspectiveT(const Cell &cell, int k) {
  const float p = cell.b.x - cell.a.x, q = cell.d.x - cell.c.x;
  return p * float(k) / (float(k) * (p - q) + cell.h * q);
}

void FillCellX(float *fx, int width, int height, const Cell &cell) {
  const int rows = std::min(int(cell.h), height - 1 - cell.row);
  const int limit = width - cell.column;
  for (int k = 0; k <= rows; ++k) {
    const float t = PerspectiveT(cell, k);
    const float left = (1 - t) * cell.a.x + t * cell.c.x;
    const float right = (1 - t) * cell.b.x + t * cell.d.x;
    LinearRamp(fx + size_t(cell.row + k) * width + cell.column, left, right, cell.x0,
               cell.x0 + cell.w, limit);
  }
}

void FillCellY(float *fy, int width, int height, const Cell &cell) {
  const int columns = std::min(int(cell.w), width - 1 - cell.column);
  const int rows = std::min(int(cell.h), height - 1 - cell.row);
  std::vector<float> top(size_t(columns) + 2), bottom(size_t(columns) + 2);
  LinearRamp(top.data(), cell.a.y, cell.b.y, 0.0f, cell.w, columns + 1);
  LinearRamp(bottom.data(), cell.c.y, cell.d.y, 0.0f, cell.w, columns + 1);
  const float p = cell.b.x - cell.a.x, q = cell.d.x - cell.c.x;
  for (int k = 0; k <= rows; ++k) {
    const float kf = float(k), den = kf * (p - q) + cell.h * q;
    float *row = fy + size_t(cell.row + k) * width + cell.column;
    for (int u = 0; u <= columns; ++u) row[u] = top[u] + kf * (bottom[u] - top[u]) * p / den;
  }
}

}  // namespace

size_t RemapMapEntries(int width, int height) {
  return (size_t(width) + 1) * (size_t(height) + 1) + size_t(width) + size_t(height) + 2;
}

void CorrectedSize(const CalibGrid &grid, int *width, int *height) {
  int w = int(grid.columns.back()), h = int(grid.rows.back());
  if (w % 2) ++w;
  if (h % 2) ++h;
  *width = w;
  *height = h;
}

void LowerEvenPositions(CalibGrid *grid) {
  auto evenInteger = [](float v) { return std::floor(v) == v && std::fmod(v, 2.0f) == 0.0f; };
  if (!evenInteger(grid->columns.back()) || !evenInteger(grid->rows.back())) return;
  for (float &c : grid->columns)
    if (c >= 1.0f) c -= 1.0f;
  for (float &r : grid->rows)
    if (r >= 1.0f) r -= 1.0f;
}

std::vector<SensorPoint> BuildTargetGrid(const std::vector<float> &columns,
                                         const std::vector<float> &rows, int nx, int ny) {
  std::vector<SensorPoint> t(size_t(nx) * ny);
  for (int i = 0; i < ny; ++i)
    for (int j = 0; j < nx; ++j) t[size_t(i) * nx + j] = {columns[j], rows[i]};
  return t;
}

int LinearRamp(float *out, float from, float to, float s0, float s1, int limit) {
  int n = 0;
  for (float s = s0; s <= s1 && n < limit; s += 1.0f) out[n++] = (to - from) / (s1 - s0) * (s - s0) + from;
  return n;
}

void BuildRemapMaps(int32_t *mapX, int32_t *mapY, int width, int height,
                    const std::vector<SensorPoint> &source, const std::vector<SensorPoint> &target,
                    int nx, int ny) {
  const size_t pixels = size_t(width) * height;
  std::vector<float> fx(pixels, 0.0f), fy(pixels, 0.0f);
  for (int i = 1; i < ny; ++i) {
    for (int j = 0; j + 1 < nx; ++j) {
      const size_t tl = size_t(i - 1) * nx + j, bl = size_t(i) * nx + j;
      Cell cell;
      cell.x0 = target[tl].x;
      cell.y0 = target[tl].y;
      cell.w = target[tl + 1].x - cell.x0;
      cell.h = target[bl].y - cell.y0;
      cell.a = source[tl];
      cell.b = source[tl + 1];
      cell.c = source[bl];
      cell.d = source[bl + 1];
      cell.column = std::min(width - 1, RoundHalfUp(cell.x0));
      cell.row = std::min(height - 1, RoundHalfUp(cell.y0));
      FillCellX(fx.data(), width, height, cell);
      FillCellY(fy.data(), width, height, cell);
    }
  }
  for (size_t k = 0; k < pixels; ++k) {
    mapX[k] = int32_t(fx[k] * 256.0f + 0.5f);
    mapY[k] = int32_t(fy[k] * 256.0f + 0.5f);
  }
}

bool RemapMapsInside(const int32_t *mapX, const int32_t *mapY, int width, int height,
                     int sensorWidth, int sensorHeight) {
  const int32_t maxX = (sensorWidth - 2) * 256 + 255, maxY = (sensorHeight - 2) * 256 + 255;
  const size_t pixels = size_t(width) * height;
  for (size_t k = 0; k < pixels; ++k)
    if (mapX[k] < 0 || mapX[k] > maxX || mapY[k] < 0 || mapY[k] > maxY) return false;
  return true;
}

MapBuild MakeRemapMaps(CalibGrid grid, int sensorWidth, int sensorHeight, RemapMaps *maps) {
  if (!CalibGridPlausible(grid, sensorWidth, sensorHeight)) return MapBuild::kImplausible;
  int width, height;
  CorrectedSize(grid, &width, &height);
  LowerEvenPositions(&grid);
  if (!CalibGridPlausible(grid, sensorWidth, sensorHeight) || width < 2 || height < 2)
    return MapBuild::kImplausible;
  const size_t entries = RemapMapEntries(width, height);
  MapBuffer x(static_cast<int32_t *>(std::calloc(entries, sizeof(int32_t))));
  if (!x) return MapBuild::kNoMemory;
  MapBuffer y(static_cast<int32_t *>(std::calloc(entries, sizeof(int32_t))));
  if (!y) return MapBuild::kNoMemory;
  BuildRemapMaps(x.get(), y.get(), width, height, grid.points,
                 BuildTargetGrid(grid.columns, grid.rows, grid.nx, grid.ny), grid.nx, grid.ny);
  if (!RemapMapsInside(x.get(), y.get(), width, height, sensorWidth, sensorHeight))
    return MapBuild::kImplausible;
  maps->width = width;
  maps->height = height;
  maps->x = std::move(x);
  maps->y = std::move(y);
  return MapBuild::kBuilt;
}

}  // namespace belnor
