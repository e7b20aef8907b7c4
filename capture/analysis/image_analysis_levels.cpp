// Background grey levels from fixed probes near the edges and the centre.
#include <cstdint>

#include "image_analysis.h"

namespace belnor {
namespace {

// Mean of the count largest of n values (n <= 9).
int MeanOfLargest(int *values, int n, int count) {
  for (int i = 1; i < n; ++i)
    for (int k = i; k > 0 && values[k] > values[k - 1]; --k) {
      const int t = values[k];
      values[k] = values[k - 1];
      values[k - 1] = t;
    }
  int sum = 0;
  for (int i = 0; i < count; ++i) sum += values[i];
  return sum / count;
}

}  // namespace

uint8_t RegionMean(const uint8_t *image, int W, int x, int y, int width, int height) {
  if (image == nullptr || width <= 0 || height <= 0) return 0;
  // Mean through the histogram, as the level is defined; only its low byte counts.
  uint32_t histogram[256] = {};
  for (int r = 0; r < height; ++r) {
    const uint8_t *row = image + int64_t(y + r) * W + x;
    for (int c = 0; c < width; ++c) ++histogram[row[c]];
  }
  int64_t sum = 0;
  for (int v = 0; v < 256; ++v) sum += int64_t(v) * histogram[v];
  return uint8_t(sum / (int64_t(width) * height));
}

uint8_t EstimateBackgroundLevel(const uint8_t *image, int W, int H) {
  if (image == nullptr || W < 200 || H < 200) return 0;
  const int probes[9][2] = {{8, 8},          {W - 56, H / 2}, {W - 56, H - 56},
                            {8, H / 2},      {8, H - 56},     {W / 2, 8},
                            {W - 56, 8},     {W / 2, H - 56}, {W / 2, H / 2}};
  int means[9];
  for (int k = 0; k < 9; ++k) means[k] = RegionMean(image, W, probes[k][0], probes[k][1], 48, 48);
  return uint8_t(MeanOfLargest(means, 9, 4));
}

uint8_t BlockMean8(const uint8_t *image, int W, int x, int y) {
  int sum = 0;
  for (int r = 0; r < 8; ++r) {
    const uint8_t *p = image + int64_t(y + r) * W + x;
    sum += p[0] + p[2] + p[4] + p[6];
  }
  return uint8_t(sum >> 5);
}

uint8_t BackgroundLevel(const uint8_t *image, int W, int H) {
  // The probes reach columns 32..38 and rows 32..39 from each side.
  if (image == nullptr || W < 40 || H < 40) return 0;
  const int probes[7][2] = {{32, 32},     {W - 32, 32},    {32, H - 32},   {W - 32, H - 32},
                            {32, H / 2},  {W - 32, H / 2}, {W / 2, H / 2}};
  int means[7];
  for (int k = 0; k < 7; ++k) means[k] = BlockMean8(image, W, probes[k][0], probes[k][1]);
  return uint8_t(MeanOfLargest(means, 7, 3));
}

}  // namespace belnor
