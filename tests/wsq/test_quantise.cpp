// Quantiser boundaries, bit allocation and block sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "wsq_quantise.h"
#include "wsq_test_util.h"
#include "wsq_trees.h"

using namespace wsq;

TEST(Quantiser, DeadZoneAndSteps) {
  const float Q = 2.0f, Z = 2.4f;
  EXPECT_EQ(QuantizeCoefficient(1.2f, Q, Z), 0);
  EXPECT_EQ(QuantizeCoefficient(-1.2f, Q, Z), 0);
  EXPECT_EQ(QuantizeCoefficient(std::nextafter(1.2f, 2.0f), Q, Z), 1);
  EXPECT_EQ(QuantizeCoefficient(std::nextafter(-1.2f, -2.0f), Q, Z), -1);
  EXPECT_EQ(QuantizeCoefficient(3.19f, Q, Z), 1);
  EXPECT_EQ(QuantizeCoefficient(3.21f, Q, Z), 2);
  EXPECT_EQ(QuantizeCoefficient(-5.3f, Q, Z), -3);
  // Tiny steps cannot leave 16 bits.
  EXPECT_EQ(QuantizeCoefficient(1e9f, 1e-3f, 1.2e-3f), 32767);
  EXPECT_EQ(QuantizeCoefficient(-1e9f, 1e-3f, 1.2e-3f), -32767);
}

TEST(Dequantiser, EverySubbandInStreamOrder) {
  // 64 x 48: the coefficients come subband by subband, row by row; subbands
  // without a step take none and read as zero.
  const int w = 64, h = 48;
  WsqTrees t;
  build_wsq_trees(t, w, h);
  QuantizationTable table;
  table.defined = true;
  table.binCenter = 0.44f;
  for (int k = 0; k < 60; ++k) {
    table.q[k] = 1.0f + 0.25f * float(k);
    table.z[k] = 1.5f * table.q[k];  // not 1.2 Q: the stream's Z is used as it stands
  }
  table.q[0] = 5.0f;
  table.z[0] = 6.0f;
  table.q[7] = 0.0f;
  size_t coded = 0;
  for (int k = 0; k < 64; ++k)
    if (table.q[k] != 0.0f) coded += size_t(t.q[k].lenx) * size_t(t.q[k].leny);
  ASSERT_LT(coded, size_t(w) * size_t(h));
  std::vector<int32_t> coeffs(coded);
  for (size_t i = 0; i < coded; ++i) coeffs[i] = int32_t(i % 9) - 4;
  coeffs[0] = 1;
  coeffs[1] = -1;
  coeffs[2] = 0;
  coeffs[coded - 1] = 40000;  // escapes beyond int16 decode as they are
  coeffs[coded - 2] = -40000;
  std::vector<float> image(size_t(w) * size_t(h), std::nanf(""));
  ASSERT_EQ(unquantize(image.data(), table, t.q, coeffs.data(), w, h), 0);

  // Subband 0 starts the stream: 1 and -1 give +-(Q (1 - 0.44) + Z / 2).
  const float *first = &image[size_t(t.q[0].y) * w + size_t(t.q[0].x)];
  EXPECT_FLOAT_EQ(first[0], 5.8f);
  EXPECT_FLOAT_EQ(first[1], -5.8f);
  EXPECT_EQ(first[2], 0.0f);
  size_t n = 0;
  for (int k = 0; k < 64; ++k) {
    const SubbandNode &s = t.q[k];
    const double Q = table.q[k], Z = table.z[k], C = table.binCenter;
    for (int y = s.y; y < s.y + s.leny; ++y)
      for (int x = s.x; x < s.x + s.lenx; ++x) {
        const float got = image[size_t(y) * w + size_t(x)];
        if (Q == 0.0) {
          ASSERT_EQ(got, 0.0f) << k;
          continue;
        }
        const int32_t v = coeffs[n++];
        const double want = v > 0 ? Q * (v - C) + Z / 2 : (v < 0 ? Q * (v + C) - Z / 2 : 0.0);
        ASSERT_NEAR(got, want, 1e-5 * std::fabs(want)) << k << " " << v;
      }
  }
  EXPECT_EQ(n, coded);
  EXPECT_FLOAT_EQ(image[size_t(t.q[59].y + t.q[59].leny - 1) * w + size_t(t.q[59].x + t.q[59].lenx - 1)],
                  float(table.q[59] * (40000 - 0.44) + table.z[59] / 2));

  wsqtest::StderrCapture quiet;
  table.defined = false;
  EXPECT_LT(unquantize(image.data(), table, t.q, coeffs.data(), w, h), 0);
}

namespace {

struct Transformed {
  int w, h;
  WsqTrees trees;
  std::vector<float> img;
};

// Coefficients with a chosen spread per subband (standing in for a transform).
Transformed WithSpread(int w, int h, double (*spread)(int k), uint32_t seed) {
  Transformed t{w, h, {}, std::vector<float>(size_t(w) * size_t(h), 0.0f)};
  build_wsq_trees(t.trees, w, h);
  std::mt19937 rng(seed);
  std::normal_distribution<float> d(0.0f, 1.0f);
  for (int k = 0; k < 64; ++k) {
    const SubbandNode &s = t.trees.q[k];
    for (int y = s.y; y < s.y + s.leny; ++y)
      for (int x = s.x; x < s.x + s.lenx; ++x) t.img[size_t(y) * size_t(w) + size_t(x)] = float(spread(k)) * d(rng);
  }
  return t;
}

// Variances, bit allocation and quantisation at rate r.
QuantizerParams Allocate(const Transformed &t, float r, std::vector<int16_t> *coeffs, int *count) {
  QuantizerParams p;
  p.r = r;
  subband_variance(p, t.trees.q, t.img.data(), t.w);
  EXPECT_EQ(quantize(coeffs, count, p, t.trees.q, t.img.data(), t.w, t.h), 0);
  return p;
}

}  // namespace

TEST(Allocation, RateScalesEveryStepAlike) {
  Transformed t = WithSpread(512, 512, [](int k) { return 300.0 / (1 + k); }, 5);
  QuantizerParams a, b;
  a.r = 0.75f;
  b.r = 1.75f;
  subband_variance(a, t.trees.q, t.img.data(), t.w);
  subband_variance(b, t.trees.q, t.img.data(), t.w);
  std::vector<int16_t> ca, cb;
  int na, nb;
  ASSERT_EQ(quantize(&ca, &na, a, t.trees.q, t.img.data(), t.w, t.h), 0);
  ASSERT_EQ(quantize(&cb, &nb, b, t.trees.q, t.img.data(), t.w, t.h), 0);
  // Relative steps: 1 for 0-3, 10 / (A ln var) otherwise.
  for (int k = 0; k < 4; ++k) EXPECT_EQ(a.qbss[k], 1.0f);
  EXPECT_NEAR(a.qbss[10], 10.0 / std::log(a.var[10]), 1e-5);
  EXPECT_NEAR(a.qbss[54], 10.0 / (1.42 * std::log(a.var[54])), 1e-5);
  // Every subband is in the budget here, so S is the full share sum and
  // Q(r) / Q(r + 1) = 2^(1/S) for all of them.
  double S = 0.0;
  for (int k = 0; k < 60; ++k) S += k <= 3 ? 1.0 / 1024 : (k <= 50 ? 1.0 / 256 : 1.0 / 16);
  for (int k = 0; k < 60; ++k) {
    ASSERT_GT(a.q[k], 0.0f) << k;
    EXPECT_NEAR(a.q[k] / b.q[k], std::pow(2.0, 1.0 / S), 1e-3) << k;
    EXPECT_FLOAT_EQ(a.z[k], 1.2f * a.q[k]);
  }
  for (int k = 60; k < 64; ++k) EXPECT_EQ(a.q[k], 0.0f);
}

TEST(Allocation, SubbandsBelowTheFloorAreNotCoded) {
  // Subband 30 is flat: variance below 1.01, Q = 0 and no coefficients.
  Transformed t = WithSpread(256, 256, [](int k) { return k == 30 ? 0.5 : 40.0; }, 6);
  QuantizerParams p;
  p.r = 0.75f;
  subband_variance(p, t.trees.q, t.img.data(), t.w);
  std::vector<int16_t> c;
  int n;
  ASSERT_EQ(quantize(&c, &n, p, t.trees.q, t.img.data(), t.w, t.h), 0);
  EXPECT_EQ(p.q[30], 0.0f);
  int s1, s2, s3;
  quant_block_sizes(&s1, &s2, &s3, p.q, t.trees.w, t.trees.q);
  EXPECT_EQ(s1 + s2 + s3, n);
  EXPECT_EQ(s1 + s2 + s3 + t.trees.q[30].lenx * t.trees.q[30].leny + 4 * 64 * 64, 256 * 256);
}

TEST(Allocation, SmoothImagesKeepTheirSubbandsWithinSixteenBits) {
  // Few subbands at the floor make the step explode; the coded steps are
  // floored so that quotients fit and not every subband is lost.
  for (float r : {0.75f, 2.25f, 7.5f}) {
    Transformed t = WithSpread(320, 320, [](int k) { return k < 4 ? 3000.0 : (k < 8 ? 3.0 : 0.1); }, 7);
    std::vector<int16_t> c;
    int n;
    const QuantizerParams p = Allocate(t, r, &c, &n);
    int coded = 0;
    for (int k = 0; k < 60; ++k) {
      ASSERT_TRUE(std::isfinite(p.q[k])) << k;
      ASSERT_LE(p.q[k], kMaxStep);
      coded += p.q[k] > 0.0f;
    }
    EXPECT_GE(coded, 4) << r;
    int nonZero = 0;
    for (int i = 0; i < n; ++i) {
      ASSERT_LE(std::abs(int(c[size_t(i)])), kMaxQuantized);
      nonZero += c[size_t(i)] != 0;
    }
    EXPECT_GT(nonZero, 0) << r;
  }
}

TEST(Allocation, EmptyBudgetAndFlatInput) {
  for (float r : {0.0f, 0.01f}) {
    Transformed t = WithSpread(64, 64, [](int) { return 50.0; }, 8);
    std::vector<int16_t> c;
    int n;
    const QuantizerParams p = Allocate(t, r, &c, &n);
    for (int k = 0; k < 60; ++k) ASSERT_TRUE(std::isfinite(p.q[k]) && p.q[k] <= kMaxStep);
  }
  Transformed flat = WithSpread(40, 30, [](int) { return 0.0; }, 9);
  QuantizerParams p;
  p.r = 0.75f;
  subband_variance(p, flat.trees.q, flat.img.data(), flat.w);
  std::vector<int16_t> c;
  int n = -1;
  ASSERT_EQ(quantize(&c, &n, p, flat.trees.q, flat.img.data(), flat.w, flat.h), 0);
  EXPECT_EQ(n, 0);
  for (int k = 0; k < 64; ++k) EXPECT_EQ(p.q[k], 0.0f);
}

TEST(Allocation, BlockSizesAddUpForManySizes) {
  std::mt19937 rng(10);
  for (int w = 1; w < 200; w += 7) {
    for (int h = 1; h < 200; h += 11) {
      WsqTrees t;
      build_wsq_trees(t, w, h);
      float q[64] = {};
      int expect = 0;
      for (int k = 0; k < 60; ++k) {
        q[k] = (rng() % 4) ? 1.0f : 0.0f;
        if (q[k] != 0.0f) expect += t.q[k].lenx * t.q[k].leny;
      }
      int s1, s2, s3;
      quant_block_sizes(&s1, &s2, &s3, q, t.w, t.q);
      ASSERT_EQ(s1 + s2 + s3, expect) << w << "x" << h;
      // Block 3 is nodes 2 and 3, block 1 node 14.
      int b3 = 0;
      for (int k = 52; k < 60; ++k) b3 += q[k] != 0.0f ? t.q[k].lenx * t.q[k].leny : 0;
      ASSERT_EQ(s3, b3);
    }
  }
}

TEST(Variance, WindowsAndShortRegions) {
  Transformed t = WithSpread(256, 256, [](int k) { return k < 4 ? 200.0 : 10.0; }, 12);
  QuantizerParams p;
  subband_variance(p, t.trees.q, t.img.data(), t.w);
  EXPECT_NEAR(p.var[0], 40000.0, 8000.0);
  EXPECT_NEAR(p.var[20], 100.0, 20.0);
  // 1x1 images have subbands of one sample or none: variance 0.
  Transformed tiny = WithSpread(1, 1, [](int) { return 10.0; }, 13);
  QuantizerParams q;
  subband_variance(q, tiny.trees.q, tiny.img.data(), 1);
  for (int k = 0; k < 60; ++k) EXPECT_EQ(q.var[k], 0.0f);
}
