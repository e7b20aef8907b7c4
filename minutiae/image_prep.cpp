#include "image_prep.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "alg_codes.h"
#include "plane_sums.h"

namespace minutiae {

int smoothMean3x3(uint8_t *image, int w, int h) {
  std::vector<uint8_t> src;
  try {
    src.assign(image, image + size_t(w) * h);
  } catch (const std::bad_alloc &) {
    return ALG_NO_MEMORY;
  }
  for (int y = 0; y < h; ++y) {
    const int y0 = std::max(0, y - 1), y1 = std::min(h - 1, y + 1);
    for (int x = 0; x < w; ++x) {
      const int x0 = std::max(0, x - 1), x1 = std::min(w - 1, x + 1);
      int s = 0;
      for (int yy = y0; yy <= y1; ++yy)
        for (int xx = x0; xx <= x1; ++xx) s += src[size_t(yy) * w + xx];
      const int n = (y1 - y0 + 1) * (x1 - x0 + 1);
      image[size_t(y) * w + x] = uint8_t(n == 4 ? s >> 2 : s / n);
    }
  }
  return ALG_OK;
}

int boxMean(uint8_t *image, int w, int h, int r) {
  PlaneSums sums;
  if (!sums.Build(image, w, h)) return ALG_NO_MEMORY;
  for (int y = 0; y < h; ++y) {
    const int y0 = std::max(0, y - r), y1 = std::min(h - 1, y + r);
    for (int x = 0; x < w; ++x) {
      const int x0 = std::max(0, x - r), x1 = std::min(w - 1, x + r);
      const uint32_t n = uint32_t((y1 - y0 + 1) * (x1 - x0 + 1));
      image[size_t(y) * w + x] = uint8_t(sums.Sum(x0, y0, x1, y1) / n);
    }
  }
  return ALG_OK;
}

int normalizeLocalContrast(uint8_t *image, int w, int h) {
  const size_t n = size_t(w) * h;
  std::vector<uint8_t> mean, dev;
  try {
    mean.assign(image, image + n);
    dev.resize(n);
  } catch (const std::bad_alloc &) {
    return ALG_NO_MEMORY;
  }
  if (boxMean(mean.data(), w, h, 4) != ALG_OK) return ALG_NO_MEMORY;
  for (size_t i = 0; i < n; ++i) dev[i] = uint8_t(std::abs(int(image[i]) - int(mean[i])));
  if (boxMean(dev.data(), w, h, std::min(w, h) / 2 - 1) != ALG_OK) return ALG_NO_MEMORY;
  for (size_t i = 0; i < n; ++i) {
    const int m = mean[i], v = dev[i], x = image[i];
    if (m == 0) continue;
    const int lo = v < m ? m - v : 0;
    const int hi = m + v <= 254 ? m + v : 255;
    if (x <= lo) image[i] = 0;
    else if (x >= hi) image[i] = 255;
    else image[i] = uint8_t((x - lo) * 255 / (hi - lo));
  }
  return smoothMean3x3(image, w, h);
}

int isBlankImage(const uint8_t *input, const uint8_t *smoothed, int w, int h) {
  const size_t n = size_t(w) * h;
  uint64_t total = 0;
  for (size_t i = 0; i < n; ++i) total += input[i];
  const int mean = int(total / n);
  if (mean < 30) return 1;
  int dark = 0;
  for (size_t i = 0; i < n; ++i) dark += input[i] < mean - 20;
  if (dark < 600) return 1;
  int64_t c = 0, t = 0;
  for (size_t i = 0; i < n; ++i) {
    const int d = std::abs(int(input[i]) - int(smoothed[i]));
    if (d > 7) {
      ++c;
      t += d;
    }
  }
  if (c < 600) return 1;
  if (t / c < 5) return 1;
  return 0;
}

void smoothCross5(uint8_t *dst, const uint8_t *src, int w, int h, bool lastRowFromLast) {
  std::memcpy(dst, src, size_t(w));
  for (int y = 1; y < h - 1; ++y) {
    const uint8_t *s = src + size_t(y) * w;
    uint8_t *d = dst + size_t(y) * w;
    d[0] = s[0];
    d[w - 1] = s[w - 1];
    for (int x = 1; x < w - 1; ++x)
      d[x] = uint8_t((s[x - w] + s[x + w] + s[x - 1] + s[x + 1] + 4 * s[x]) >> 3);
  }
  const int last = lastRowFromLast ? h - 1 : h - 2;
  std::memcpy(dst + size_t(h - 1) * w, src + size_t(last) * w, size_t(w));
}

}  // namespace minutiae
