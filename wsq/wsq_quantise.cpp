#include "wsq_quantise.h"

#include <algorithm>
#include <cmath>

#include "wsq_error.h"

namespace wsq {

namespace {

float RegionVariance(const float *image, int width, int x, int y, int w, int h) {
  const long n = long(w) * long(h);
  if (n < 2) return 0.0f;
  float sum = 0.0f, ssq = 0.0f;
  for (int r = y; r < y + h; ++r) {
    const float *row = image + size_t(r) * size_t(width);
    for (int c = x; c < x + w; ++c) {
      sum += row[c];
      ssq += row[c] * row[c];
    }
  }
  return float((double(ssq) - double(sum) * double(sum) / double(n)) / double(n - 1));
}

float WindowVariance(const float *image, int width, const SubbandNode &s) {
  return RegionVariance(image, width, s.x + s.lenx / 8, s.y + (9 * s.leny) / 32, (3 * s.lenx) / 4,
                        (7 * s.leny) / 16);
}

float Weight(int k) {
  switch (k) {
    case 52:
    case 56:
      return 1.32f;
    case 53:
    case 55:
    case 58:
    case 59:
      return 1.08f;
    case 54:
    case 57:
      return 1.42f;
    default:
      return 1.0f;
  }
}

float Share(int k) { return k <= 3 ? 1.0f / 1024.0f : (k <= 50 ? 1.0f / 256.0f : 1.0f / 16.0f); }

float MaxMagnitude(const float *image, int width, const SubbandNode &s) {
  float m = 0.0f;
  for (int r = s.y; r < s.y + s.leny; ++r)
    for (int c = s.x; c < s.x + s.lenx; ++c) m = std::max(m, std::fabs(image[size_t(r) * size_t(width) + size_t(c)]));
  return m;
}

// No coefficient exceeds 128 times the larger absolute tap sum of the 9/7
// pair (1.951) to the power of the 10 one-dimensional passes on the deepest
// path, about 102000; a step of 4 or more therefore needs no floor.
constexpr float kStepNeedingNoFloor = 4.0f;

// Relative step q_k to step Q_k with the final q, kept within what the stream
// and the 16-bit coefficients can carry.
float CodedStep(float qbss, double q, const float *image, int width, const SubbandNode &s) {
  const float qf = float(q);
  float step = (std::isfinite(qf) && qf > 0.0f) ? qbss / qf : float(double(qbss) / q);
  if (!(step >= kStepNeedingNoFloor)) {
    const float floor = MaxMagnitude(image, width, s) / float(kMaxQuantized);
    if (!(step >= floor)) step = floor;
  }
  if (!(step <= kMaxStep)) step = kMaxStep;
  return step;
}

}  // namespace

int16_t QuantizeCoefficient(float c, float Q, float Z) {
  const float zh = Z / 2.0f;
  double t;
  if (c > zh)
    t = double((c - zh) / Q) + 1.0;
  else if (c < -zh)
    t = double((c + zh) / Q) - 1.0;
  else
    return 0;
  t = std::clamp(std::trunc(t), double(-kMaxQuantized), double(kMaxQuantized));
  return int16_t(t);
}

void subband_variance(QuantizerParams &params, const SubbandNode (&q)[kNumSubbands], const float *image,
                      int width) {
  float lowSum = 0.0f;
  for (int k = 0; k < 4; ++k) {
    params.var[k] = WindowVariance(image, width, q[k]);
    lowSum += params.var[k];
  }
  if (lowSum < 20000.0f) {
    for (int k = 0; k < kCodedSubbands; ++k)
      params.var[k] = RegionVariance(image, width, q[k].x, q[k].y, q[k].lenx, q[k].leny);
  } else {
    for (int k = 4; k < kCodedSubbands; ++k) params.var[k] = WindowVariance(image, width, q[k]);
  }
}

int quantize(std::vector<int16_t> *coeffs, int *count, QuantizerParams &params,
             const SubbandNode (&q)[kNumSubbands], const float *image, int width, int height) {
  for (int k = 0; k < kNumSubbands; ++k) params.q[k] = params.z[k] = params.qbss[k] = 0.0f;
  float sigma[kNumSubbands] = {};
  std::vector<int> k0;
  for (int k = 0; k < kCodedSubbands; ++k) {
    if (double(params.var[k]) < 1.01) continue;
    params.qbss[k] = k <= 3 ? 1.0f : 10.0f / (Weight(k) * std::log(params.var[k]));
    sigma[k] = std::sqrt(params.var[k]);
    k0.push_back(k);
  }

  if (!k0.empty()) {
    std::vector<int> K = k0;
    double step = 0.0;
    for (;;) {
      float S = 0.0f;
      for (int k : K) S += Share(k);
      float prod = 1.0f;
      for (int k : K) prod *= float(std::pow(double(sigma[k] / params.qbss[k]), double(Share(k))));
      step = (std::pow(2.0, double(params.r / S) - 1.0) / 2.5) / std::pow(double(prod), 1.0 / double(S));
      std::vector<int> kept;
      for (int k : K)
        if (!(double(params.qbss[k]) / step >= 5.0 * double(sigma[k]))) kept.push_back(k);
      // Stop when nothing leaves the budget, and never empty it.
      if (kept.size() == K.size() || kept.empty()) break;
      K.swap(kept);
    }
    for (int k : k0) {
      params.q[k] = CodedStep(params.qbss[k], step, image, width, q[k]);
      params.z[k] = 1.2f * params.q[k];
    }
  }

  coeffs->assign(size_t(width) * size_t(height), 0);
  int16_t *out = coeffs->data();
  size_t n = 0;
  for (int k = 0; k < kCodedSubbands; ++k) {
    const float Q = params.q[k];
    if (Q == 0.0f) continue;
    const float Z = params.z[k];
    const SubbandNode &s = q[k];
    for (int r = s.y; r < s.y + s.leny; ++r) {
      const float *row = image + size_t(r) * size_t(width);
      for (int c = s.x; c < s.x + s.lenx; ++c) out[n++] = QuantizeCoefficient(row[c], Q, Z);
    }
  }
  *count = int(n);
  return 0;
}

void quant_block_sizes(int *size1, int *size2, int *size3, const float *qstep,
                       const WaveletNode (&w)[kWaveletNodes], const SubbandNode (&q)[kNumSubbands]) {
  auto area = [](int a, int b) { return a * b; };
  int s1 = area(w[14].lenx, w[14].leny);
  int s2 = area(w[5].leny, w[1].lenx) + area(w[4].lenx, w[4].leny);
  int s3 = area(w[2].lenx, w[2].leny) + area(w[3].lenx, w[3].leny);
  for (int k = 0; k < kCodedSubbands; ++k) {
    if (qstep[k] != 0.0f) continue;
    const int a = area(q[k].lenx, q[k].leny);
    (k <= 18 ? s1 : (k <= 51 ? s2 : s3)) -= a;
  }
  *size1 = s1;
  *size2 = s2;
  *size3 = s3;
}

int unquantize(float *image, const QuantizationTable &table, const SubbandNode (&q)[kNumSubbands],
               const int32_t *coeffs, int width, int height) {
  if (!table.defined) return Fail(-92, "ERROR: unquantize : quantization table parameters not defined!\n");
  (void)height;
  const float c = table.binCenter;
  size_t n = 0;
  // The subbands tile the image, so each position is written exactly once.
  for (int k = 0; k < kNumSubbands; ++k) {
    const float Q = table.q[k];
    const SubbandNode &s = q[k];
    if (Q == 0.0f) {
      for (int r = s.y; r < s.y + s.leny; ++r)
        std::fill_n(image + size_t(r) * size_t(width) + size_t(s.x), s.lenx, 0.0f);
      continue;
    }
    const float zh = table.z[k] / 2.0f;
    for (int r = s.y; r < s.y + s.leny; ++r) {
      float *__restrict row = image + size_t(r) * size_t(width) + size_t(s.x);
      const int32_t *__restrict v = coeffs + n;
      for (int x = 0; x < s.lenx; ++x) {
        const float f = float(v[x]);
        const float pos = Q * (f - c) + zh, neg = Q * (f + c) - zh;
        row[x] = v[x] > 0 ? pos : (v[x] < 0 ? neg : 0.0f);
      }
      n += size_t(s.lenx);
    }
  }
  return 0;
}

}  // namespace wsq
