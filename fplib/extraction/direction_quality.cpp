#include "direction_quality.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "alg_codes.h"
#include "direction_field.h"
#include "fplib.h"
#include "image_prep.h"
#include "step_log.h"
#include "thread_buffer.h"

namespace fplib {

int directionQuality(const uint8_t *normalised, uint8_t *field) {
  minutiae::ForegroundStats stats;
  if (minutiae::estimateDirectionField(normalised, FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT, field, true, &stats) !=
      minutiae::ALG_OK)
    return -1;
  if (stats.cells < 1) return 100;
  if (stats.cells <= 3997) return 12;
  double sumX = 0, sumY = 0;
  int count = 0;
  for (int r = 0; r < kCellRows; ++r)
    for (int c = 0; c < kCellCols; ++c)
      if (!(field[r * kCellCols + c] & minutiae::kBackground)) {
        sumX += c;
        sumY += r;
        ++count;
      }
  if (count == 0) return 12;
  const double X = sumX / count, Y = sumY / count;
  if (X - 42 < -14) return 20;
  if (X - 42 > 14) return 30;
  if (Y - 59 < -20) return 40;
  if (Y - 59 > 20) return 50;
  const int64_t b = (stats.strength + stats.cells / 2) / stats.cells;
  return int(std::max<int64_t>(b, 100));
}

int extractionQuality(int g) {
  if (g >= 100) g = std::max(g - 96, 100);
  return g / 4;
}

int qualityScore2(const uint8_t *image) {
  constexpr int w = FP_IMAGE_WIDTH, h = FP_IMAGE_HEIGHT;
  try {
    std::vector<uint8_t> &area = minutiae::threadBuffer<struct QualityPlanes, uint8_t>();
    area.resize(2 * size_t(FP_IMAGE_SIZE) + 3 * size_t(kCells));
    uint8_t *plane0 = area.data(), *plane1 = plane0 + FP_IMAGE_SIZE, *grid = plane1 + FP_IMAGE_SIZE;
    std::memcpy(plane0, image, FP_IMAGE_SIZE);
    if (minutiae::smoothMean3x3(plane0, w, h) != minutiae::ALG_OK) return -1;
    std::memcpy(plane1, plane0, FP_IMAGE_SIZE);
    if (minutiae::normalizeLocalContrast(plane1, w, h) != minutiae::ALG_OK) return -1;
    if (minutiae::computeDirectionField(plane0, plane1, w, h, grid) != minutiae::ALG_OK) return -1;
    const int q = minutiae::computeQualityScore(plane1, plane0, w, h, grid);
    FP_LOG("GetQualityScore2", "quality=%d\n", q);
    return std::min(q, 100);
  } catch (const std::bad_alloc &) {
    return -1;
  }
}

}  // namespace fplib
