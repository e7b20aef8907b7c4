#include "wsq_transform.h"

#include <algorithm>
#include <memory>
#ifdef __SSE2__
#include <xmmintrin.h>
#endif
#include <vector>

#include "wsq_error.h"

namespace wsq {

int conv_img_2_flt(float *out, float *mShift, float *rScale, const uint8_t *pixels, size_t n) {
  uint32_t sum = 0;
  int lo = 255, hi = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t next = sum + pixels[i];
    if (next < sum) return Fail(-91, "ERROR: conv_img_2_flt: overflow at %zu\n", i);
    sum = next;
    lo = std::min(lo, int(pixels[i]));
    hi = std::max(hi, int(pixels[i]));
  }
  const float m = float(sum) / float(n);
  const float r = std::max(m - float(lo), float(hi) - m) / 128.0f;
  *mShift = m;
  *rScale = r;
  // A constant image has nothing to scale; its floats are all zero.
  const float div = r == 0.0f ? 1.0f : r;
  for (size_t i = 0; i < n; ++i) out[i] = (float(pixels[i]) - m) / div;
  return 0;
}

void conv_flt_2_img(uint8_t *out, const float *in, int width, int height, float mShift, float rScale) {
  const size_t n = size_t(width) * size_t(height);
  for (size_t i = 0; i < n; ++i) {
    float v = in[i] * rScale + mShift + 0.5f;
    // A corrupt stream can carry infinite or NaN values; they clamp too.
    v = !(v > 0.0f) ? 0.0f : (v > 255.0f ? 255.0f : v);
    out[i] = uint8_t(v);
  }
}

int FoldIndex(int m, int n) {
  if (n == 1) return 0;
  const int period = 2 * (n - 1);
  m %= period;
  if (m < 0) m += period;
  return m >= n ? period - m : m;
}

LinePlan MakeAnalysisPlan(int n, const float *lofilt, int numLo, const float *hifilt, int numHi, bool invert) {
  LinePlan plan;
  plan.start.assign(size_t(n) + 1, 0);
  if (n <= 0) return plan;
  const int numLow = (n + 1) / 2, numHigh = n / 2;
  const int lowAt = invert ? numHigh : 0, highAt = invert ? 0 : numLow;
  const size_t len = size_t(n);
  std::vector<int> first(len), count(len);
  std::vector<const float *> tapsOf(len);
  // Low j is centred on sample 2j, high j on sample 2j + 1.
  for (int j = 0; j < numLow; ++j) {
    const size_t p = size_t(lowAt + j);
    first[p] = 2 * j - numLo / 2;
    count[p] = numLo;
    tapsOf[p] = lofilt;
  }
  for (int j = 0; j < numHigh; ++j) {
    const size_t p = size_t(highAt + j);
    first[p] = 2 * j + 1 - numHi / 2;
    count[p] = numHi;
    tapsOf[p] = hifilt;
  }
  for (size_t p = 0; p < len; ++p) {
    for (int k = 0; k < count[p]; ++k) {
      plan.src.push_back(FoldIndex(first[p] + k, n));
      plan.taps.push_back(tapsOf[p][k]);
    }
    plan.start[p + 1] = int(plan.src.size());
  }
  return plan;
}

LinePlan MakeSynthesisPlan(int n, const float *lofilt, int numLo, const float *hifilt, int numHi, bool invert) {
  LinePlan plan;
  plan.start.assign(size_t(n) + 1, 0);
  if (n <= 0) return plan;
  const int numHigh = n / 2, numLow = n - numHigh;
  const int lowAt = invert ? numHigh : 0, highAt = invert ? 0 : numLow;
  const int cLo = numLo / 2, cHi = numHi / 2;
  for (int out = 0; out < n; ++out) {
    // Only the even positions of the upsampled low half and the odd ones of
    // the high half hold samples; the zero terms are left out.
    for (int k = -cLo; k <= cLo; ++k) {
      const int m = out - k;
      if (n == 1 && (m & 1)) continue;
      const int f = FoldIndex(m, n);
      if (f & 1) continue;
      plan.src.push_back(lowAt + f / 2);
      plan.taps.push_back(lofilt[cLo + k]);
    }
    for (int k = -cHi; k <= cHi && n > 1; ++k) {
      const int f = FoldIndex(out - k, n);
      if (!(f & 1)) continue;
      plan.src.push_back(highAt + (f - 1) / 2);
      plan.taps.push_back(hifilt[cHi + k]);
    }
    plan.start[size_t(out) + 1] = int(plan.src.size());
  }
  return plan;
}

namespace {

constexpr int kChunk = 16;

// Sums one output position over kChunk lanes in registers. Every lane sees
// its terms in plan order, so results equal the one-lane-at-a-time sum.
inline void SumChunk(float *__restrict d, const float *const *src, const int *idx, const float *taps, int terms,
                     size_t off) {
  float acc[kChunk] = {};
  for (int t = 0; t < terms; ++t) {
    const float tap = taps[t];
    const float *__restrict s = src[idx[t]] + off;
    for (int x = 0; x < kChunk; ++x) acc[x] += tap * s[x];
  }
  for (int x = 0; x < kChunk; ++x) d[off + size_t(x)] = acc[x];
}

inline void SumTail(float *__restrict d, const float *const *src, const int *idx, const float *taps, int terms,
                    size_t off, size_t end) {
  for (size_t x = off; x < end; ++x) {
    float acc = 0.0f;
    for (int t = 0; t < terms; ++t) acc += taps[t] * src[idx[t]][x];
    d[x] = acc;
  }
}

}  // namespace

void ApplyPlan(const LinePlan &plan, const float *const *src, float *const *dst, int lanes) {
  const int n = int(plan.start.size()) - 1;
  const size_t full = size_t(lanes / kChunk) * kChunk;
  for (int p = 0; p < n; ++p) {
    const int first = plan.start[size_t(p)];
    const int terms = plan.start[size_t(p) + 1] - first;
    const int *idx = plan.src.data() + first;
    const float *taps = plan.taps.data() + first;
    for (size_t off = 0; off < full; off += kChunk) SumChunk(dst[p], src, idx, taps, terms, off);
    SumTail(dst[p], src, idx, taps, terms, full, size_t(lanes));
  }
}

namespace {

constexpr int kRowGroup = kChunk;

// lanes[i * kRowGroup + r] = rows[r][i]: kRowGroup rows turned into lanes,
// 4 x 4 blocks at a time. Plain moves, so values are untouched.
void GatherRows(const float *const (&rows)[kRowGroup], float *lanes, int n) {
  int i = 0;
#ifdef __SSE2__
  for (; i + 4 <= n; i += 4) {
    for (int r = 0; r < kRowGroup; r += 4) {
      __m128 a = _mm_loadu_ps(rows[r] + i), b = _mm_loadu_ps(rows[r + 1] + i);
      __m128 c = _mm_loadu_ps(rows[r + 2] + i), d = _mm_loadu_ps(rows[r + 3] + i);
      _MM_TRANSPOSE4_PS(a, b, c, d);
      float *t = lanes + size_t(i) * kRowGroup + size_t(r);
      _mm_storeu_ps(t, a);
      _mm_storeu_ps(t + kRowGroup, b);
      _mm_storeu_ps(t + 2 * kRowGroup, c);
      _mm_storeu_ps(t + 3 * kRowGroup, d);
    }
  }
#endif
  for (; i < n; ++i)
    for (int r = 0; r < kRowGroup; ++r) lanes[size_t(i) * kRowGroup + size_t(r)] = rows[r][i];
}

// rows[r][i] = lanes[i * kRowGroup + r], the inverse of GatherRows.
void ScatterRows(const float *lanes, float *const (&rows)[kRowGroup], int n) {
  int i = 0;
#ifdef __SSE2__
  for (; i + 4 <= n; i += 4) {
    for (int r = 0; r < kRowGroup; r += 4) {
      const float *t = lanes + size_t(i) * kRowGroup + size_t(r);
      __m128 a = _mm_loadu_ps(t), b = _mm_loadu_ps(t + kRowGroup);
      __m128 c = _mm_loadu_ps(t + 2 * kRowGroup), d = _mm_loadu_ps(t + 3 * kRowGroup);
      _MM_TRANSPOSE4_PS(a, b, c, d);
      _mm_storeu_ps(rows[r] + i, a);
      _mm_storeu_ps(rows[r + 1] + i, b);
      _mm_storeu_ps(rows[r + 2] + i, c);
      _mm_storeu_ps(rows[r + 3] + i, d);
    }
  }
#endif
  for (; i < n; ++i)
    for (int r = 0; r < kRowGroup; ++r) rows[r][i] = lanes[size_t(i) * kRowGroup + size_t(r)];
}

// Filters every row of the node from src into dst, kRowGroup rows at a time
// turned into lanes so that the filter loops run across rows.
void RowPass(const LinePlan &plan, const float *src, float *dst, int width, const WaveletNode &node) {
  const int n = node.lenx;
  if (n <= 0 || node.leny <= 0) return;
  std::vector<float> in(size_t(n) * kRowGroup), out(size_t(n) * kRowGroup);
  std::vector<const float *> srcRows(static_cast<size_t>(n));
  std::vector<float *> dstRows(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    srcRows[size_t(i)] = &in[size_t(i) * kRowGroup];
    dstRows[size_t(i)] = &out[size_t(i) * kRowGroup];
  }
  for (int r0 = 0; r0 < node.leny; r0 += kRowGroup) {
    const int g = std::min(kRowGroup, node.leny - r0);
    // A short last group repeats its last row in the spare lanes.
    const float *from[kRowGroup];
    float *to[kRowGroup];
    for (int r = 0; r < kRowGroup; ++r) {
      const size_t at = size_t(node.y + r0 + std::min(r, g - 1)) * size_t(width) + size_t(node.x);
      from[r] = src + at;
      to[r] = dst + at;
    }
    GatherRows(from, in.data(), n);
    ApplyPlan(plan, srcRows.data(), dstRows.data(), kRowGroup);
    if (g == kRowGroup) {
      ScatterRows(out.data(), to, n);
    } else {
      for (int r = 0; r < g; ++r)
        for (int i = 0; i < n; ++i) to[r][i] = out[size_t(i) * kRowGroup + size_t(r)];
    }
  }
}

// Filters every column of the node from src into dst, the columns as lanes.
void ColumnPass(const LinePlan &plan, const float *src, float *dst, int width, const WaveletNode &node) {
  const int n = node.leny;
  if (n <= 0 || node.lenx <= 0) return;
  std::vector<const float *> srcRows(static_cast<size_t>(n));
  std::vector<float *> dstRows(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const size_t at = size_t(node.y + i) * size_t(width) + size_t(node.x);
    srcRows[size_t(i)] = src + at;
    dstRows[size_t(i)] = dst + at;
  }
  ApplyPlan(plan, srcRows.data(), dstRows.data(), node.lenx);
}

}  // namespace

int wsq_decompose(float *image, int width, int height, const WaveletNode (&w)[kWaveletNodes],
                  const float *hifilt, int numHi, const float *lofilt, int numLo) {
  // Every node writes the scratch area it reads back, so it needs no zeroing.
  std::unique_ptr<float[]> scratch(new float[size_t(width) * size_t(height)]);
  for (const WaveletNode &node : w) {
    RowPass(MakeAnalysisPlan(node.lenx, lofilt, numLo, hifilt, numHi, node.invRows), image, scratch.get(), width,
            node);
    ColumnPass(MakeAnalysisPlan(node.leny, lofilt, numLo, hifilt, numHi, node.invCols), scratch.get(), image,
               width, node);
  }
  return 0;
}

int wsq_reconstruct(float *image, int width, int height, const WaveletNode (&w)[kWaveletNodes],
                    const TransformTable &table) {
  if (!table.loDefined) return Fail(-95, "ERROR: wsq_reconstruct : Lopass filter coefficients not defined\n");
  if (!table.hiDefined) return Fail(-96, "ERROR: wsq_reconstruct : Hipass filter coefficients not defined\n");
  // Every node writes the scratch area it reads back, so it needs no zeroing.
  std::unique_ptr<float[]> scratch(new float[size_t(width) * size_t(height)]);
  const float *lo = table.lofilt.data(), *hi = table.hifilt.data();
  const int numLo = int(table.lofilt.size()), numHi = int(table.hifilt.size());
  for (int i = kWaveletNodes - 1; i >= 0; --i) {
    const WaveletNode &node = w[i];
    ColumnPass(MakeSynthesisPlan(node.leny, lo, numLo, hi, numHi, node.invCols), image, scratch.get(), width,
               node);
    RowPass(MakeSynthesisPlan(node.lenx, lo, numLo, hi, numHi, node.invRows), scratch.get(), image, width, node);
  }
  return 0;
}

}  // namespace wsq
