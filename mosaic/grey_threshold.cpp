// Grey threshold between ridges and background, from probe squares.
#include <algorithm>

#include "quality.h"

namespace quisal {

int mosaic_region_threshold(const unsigned char *image, int W, int x, int y, int width, int height) {
  int histogram[256] = {};
  long sum = 0;
  for (int r = y; r < y + height; ++r) {
    const unsigned char *p = image + static_cast<long>(r) * W + x;
    for (int c = 0; c < width; ++c) {
      ++histogram[p[c]];
      sum += p[c];
    }
  }
  const int mean = static_cast<int>(sum / (static_cast<long>(width) * height));
  long upperSum = 0, upperCount = 0;
  for (int v = mean; v < 256; ++v) {
    upperSum += static_cast<long>(v) * histogram[v];
    upperCount += histogram[v];
  }
  const int g = upperCount > 0 ? static_cast<int>(upperSum / upperCount) : 0;
  for (int v = 255; v >= 1; --v) {
    if (histogram[v] >= 10) return (v + g) / 2;
  }
  return g / 2;
}

int mosaic_grey_threshold(const unsigned char *image, int W, int H) {
  if (W < 200 || H < 200) return 0;
  const int corners[9][2] = {{16, 16},          {W - 48, H / 2}, {W - 48, H - 48},
                             {16, H / 2},       {16, H - 48},    {W / 2, 16},
                             {W - 48, 16},      {W / 2, H - 48}, {W / 2, H / 2}};
  int thresholds[9];
  for (int i = 0; i < 9; ++i) {
    thresholds[i] = mosaic_region_threshold(image, W, corners[i][0], corners[i][1], 32, 32);
  }
  std::partial_sort(thresholds, thresholds + 2, thresholds + 9, [](int a, int b) { return a > b; });
  return (thresholds[0] + thresholds[1]) / 2;
}

}  // namespace quisal
