#include "image_prep.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "alg_codes.h"
#include "thread_buffer.h"

namespace minutiae {

namespace {

// Exact floor(s / d) for s < 2^32 and d < 2^32 by a multiply: with
// m = ceil(2^64 / d) the error of s * m / 2^64 stays below 1 / d.
class ExactDivider {
 public:
  explicit ExactDivider(uint32_t d = 1) : m_(d > 1 ? ~uint64_t(0) / d + 1 : 0) {}
  uint32_t operator()(uint32_t s) const {
    return m_ ? uint32_t((unsigned __int128)s * m_ >> 64) : s;
  }

 private:
  uint64_t m_;
};

}  // namespace

namespace {

// One output row of the 3x3 mean from its column sums; `rows` (2 or 3) is a
// template argument so that the divisions become multiplications.
template <int rows>
void MeanRow3(const uint16_t *col, uint8_t *out, int w) {
  out[0] = uint8_t((col[0] + col[1]) / (2 * rows));
  for (int x = 1; x < w - 1; ++x) out[x] = uint8_t((col[x - 1] + col[x] + col[x + 1]) / (3 * rows));
  out[w - 1] = uint8_t((col[w - 2] + col[w - 1]) / (2 * rows));
}

}  // namespace

int smoothMean3x3(uint8_t *image, int w, int h) {
  // The mean over the 3x3 window clipped to the image (the radius-1 box
  // mean), with the sums in 16 bits.
  if (w < 2 || h < 2) return boxMean(image, w, h, 1);
  try {
    std::vector<uint8_t> &src = threadBuffer<struct SmoothSource, uint8_t>();
    std::vector<uint16_t> &col = threadBuffer<struct SmoothColumns, uint16_t>();
    src.assign(image, image + size_t(w) * h);
    col.resize(size_t(w));
    for (int y = 0; y < h; ++y) {
      const uint8_t *up = &src[size_t(std::max(0, y - 1)) * w], *mid = &src[size_t(y) * w],
                    *down = &src[size_t(std::min(h - 1, y + 1)) * w];
      const bool full = y > 0 && y < h - 1;
      if (full)
        for (int x = 0; x < w; ++x) col[size_t(x)] = uint16_t(up[x] + mid[x] + down[x]);
      else
        for (int x = 0; x < w; ++x) col[size_t(x)] = uint16_t((y > 0 ? up[x] : down[x]) + mid[x]);
      if (full) MeanRow3<3>(col.data(), image + size_t(y) * w, w);
      else MeanRow3<2>(col.data(), image + size_t(y) * w, w);
    }
  } catch (const std::bad_alloc &) {
    return ALG_NO_MEMORY;
  }
  return ALG_OK;
}

int boxMean(uint8_t *image, int w, int h, int r) {
  // Column sums over the clipped rows, run along each row; the mean over
  // rows x columns is floor(floor(s / rows) / columns).
  try {
    std::vector<uint8_t> &src = threadBuffer<struct BoxSource, uint8_t>();
    std::vector<uint32_t> &col = threadBuffer<struct BoxColumns, uint32_t>();
    std::vector<ExactDivider> &byCols = threadBuffer<struct BoxColumnDividers, ExactDivider>();
    src.assign(image, image + size_t(w) * h);
    col.assign(size_t(w), 0);
    byCols.resize(size_t(w));
    for (int x = 0; x < w; ++x)
      byCols[size_t(x)] = ExactDivider(uint32_t(std::min(w - 1, x + r) - std::max(0, x - r) + 1));
    int top = 0, bottom = -1;
    for (int y = 0; y < h; ++y) {
      const int y0 = std::max(0, y - r), y1 = std::min(h - 1, y + r);
      for (; bottom < y1; ++bottom) {
        const uint8_t *in = &src[size_t(bottom + 1) * w];
        for (int x = 0; x < w; ++x) col[size_t(x)] += in[x];
      }
      for (; top < y0; ++top) {
        const uint8_t *in = &src[size_t(top) * w];
        for (int x = 0; x < w; ++x) col[size_t(x)] -= in[x];
      }
      const uint32_t rows = uint32_t(y1 - y0 + 1);
      const ExactDivider byRows(rows), byWindow(rows * uint32_t(2 * r + 1));
      uint8_t *out = image + size_t(y) * w;
      // Windows clipped on the left, whole windows, windows clipped on the right.
      const int xa = std::min(w, r + 1), xb = std::max(xa, w - r);
      uint32_t s = 0;
      for (int x = 0; x <= std::min(w - 1, r); ++x) s += col[size_t(x)];
      for (int x = 0; x < xa; ++x) {
        if (x > 0 && x + r < w) s += col[size_t(x + r)];
        out[x] = uint8_t(byCols[size_t(x)](byRows(s)));
      }
      for (int x = xa; x < xb; ++x) {
        s += col[size_t(x + r)] - col[size_t(x - r - 1)];
        out[x] = uint8_t(byWindow(s));
      }
      for (int x = xb; x < w; ++x) {
        if (x + r < w) s += col[size_t(x + r)];
        if (x - r - 1 >= 0) s -= col[size_t(x - r - 1)];
        out[x] = uint8_t(byCols[size_t(x)](byRows(s)));
      }
    }
  } catch (const std::bad_alloc &) {
    return ALG_NO_MEMORY;
  }
  return ALG_OK;
}

int normalizeLocalContrast(uint8_t *image, int w, int h) {
  const size_t n = size_t(w) * h;
  std::vector<uint8_t> *meanBuf, *devBuf;
  try {
    meanBuf = &threadBuffer<struct ContrastMean, uint8_t>();
    devBuf = &threadBuffer<struct ContrastDeviation, uint8_t>();
    meanBuf->assign(image, image + n);
    devBuf->resize(n);
  } catch (const std::bad_alloc &) {
    return ALG_NO_MEMORY;
  }
  uint8_t *mean = meanBuf->data(), *dev = devBuf->data();
  if (boxMean(mean, w, h, 4) != ALG_OK) return ALG_NO_MEMORY;
  for (size_t i = 0; i < n; ++i) dev[i] = uint8_t(std::abs(int(image[i]) - int(mean[i])));
  if (boxMean(dev, w, h, std::min(w, h) / 2 - 1) != ALG_OK) return ALG_NO_MEMORY;
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
