// Image-quality score: dark-ridge level, background brightness, grey range
// and the share of dark pixels.
#include <algorithm>

#include "quality.h"

namespace quisal {

int mosaic_image_quality(const unsigned char *image, int W, int H) {
  const int T = mosaic_grey_threshold(image, W, H);
  const long total = static_cast<long>(W) * H;
  long histogram[256] = {};
  long sum = 0, darkCount = 0, darkSum = 0;
  for (long n = 0; n < total; ++n) {
    const int v = image[n];
    ++histogram[v];
    sum += v;
    if (v + 30 < T) {
      ++darkCount;
      darkSum += v;
    }
  }
  int lo = 0, hi = 0;
  for (int v = 0; v < 256; ++v) {
    if (histogram[v] > 25) {
      lo = v;
      break;
    }
  }
  for (int v = 255; v >= 0; --v) {
    if (histogram[v] > 25) {
      hi = v;
      break;
    }
  }
  const long background = darkCount == total ? image[0] : (sum - darkSum) / (total - darkCount);
  const int brightness = std::clamp(static_cast<int>((background - 160) / 6), 0, 10);
  const long G = darkCount > 0 ? darkSum / darkCount : T;
  const int darkLevel = G > 220 ? 0 : static_cast<int>(std::min(30L, (220 - G) * 30 / 170));
  const int range = std::min(30, (hi - lo) / 6);
  const int darkShare = darkCount > 51199 ? 30 : static_cast<int>(darkCount * 15 / 25600);
  return darkLevel + brightness + range + darkShare;
}

}  // namespace quisal
