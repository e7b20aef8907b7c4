// Trees, normalisation and the wavelet transform, checked against a plain
// line-by-line transform written straight from the formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "byte_io.h"
#include "filters.h"
#include "segment_readers.h"
#include "segment_writers.h"
#include "wsq_test_util.h"
#include "wsq_transform.h"
#include "wsq_trees.h"

using namespace wsq;

namespace {

// Synthesis pair as a decoder gets it from our DTT.
TransformTable StreamFilters() {
  uint8_t buf[64];
  OutBuffer out{buf, sizeof buf, 0};
  EXPECT_EQ(putc_transform_table(kLoFilt, 9, kHiFilt, 7, out), 0);
  InCursor in{buf + 2, buf + out.fill};
  TransformTable t;
  EXPECT_EQ(getc_transform_table(t, in), 0);
  return t;
}

int RefFold(int m, int n) {
  while (m < 0 || m >= n) m = m < 0 ? -m : 2 * (n - 1) - m;
  return m;
}

void RefAnalyze(const std::vector<float> &x, std::vector<float> &out, bool invert) {
  const int n = int(x.size());
  const int nl = (n + 1) / 2, nh = n / 2;
  out.assign(size_t(n), 0.0f);
  for (int j = 0; j < nl; ++j) {
    float acc = 0.0f;
    for (int k = 0; k < 9; ++k) acc += kLoFilt[k] * x[size_t(n == 1 ? 0 : RefFold(2 * j - 4 + k, n))];
    out[size_t(invert ? nh + j : j)] = acc;
  }
  for (int j = 0; j < nh; ++j) {
    float acc = 0.0f;
    for (int k = 0; k < 7; ++k) acc += kHiFilt[k] * x[size_t(RefFold(2 * j - 2 + k, n))];
    out[size_t(invert ? j : nl + j)] = acc;
  }
}

// x[n] = sum g_lo[3+k] U_lo[n-k] + sum g_hi[4+k] U_hi[n-k], zero terms included.
void RefSynthesize(const std::vector<float> &in, std::vector<float> &x, bool invert, const TransformTable &t) {
  const int n = int(in.size());
  const int nl = (n + 1) / 2, nh = n / 2;
  std::vector<float> ulo(size_t(n), 0.0f), uhi(size_t(n), 0.0f);
  for (int j = 0; j < nl; ++j) ulo[size_t(2 * j)] = in[size_t(invert ? nh + j : j)];
  for (int j = 0; j < nh; ++j) uhi[size_t(2 * j + 1)] = in[size_t(invert ? j : nl + j)];
  auto at = [&](const std::vector<float> &u, int m) {
    if (n == 1) return (m & 1) ? 0.0f : u[0];
    return u[size_t(RefFold(m, n))];
  };
  x.assign(size_t(n), 0.0f);
  for (int i = 0; i < n; ++i) {
    float acc = 0.0f;
    for (int k = -3; k <= 3; ++k) acc += t.lofilt[size_t(3 + k)] * at(ulo, i - k);
    for (int k = -4; k <= 4; ++k) acc += t.hifilt[size_t(4 + k)] * (n == 1 ? 0.0f : at(uhi, i - k));
    x[size_t(i)] = acc;
  }
}

template <class Fn>
void ForLines(float *img, int width, const WaveletNode &node, bool rows, Fn fn) {
  const int count = rows ? node.leny : node.lenx, len = rows ? node.lenx : node.leny;
  std::vector<float> line(static_cast<size_t>(len)), out;
  for (int l = 0; l < count; ++l) {
    auto px = [&](int i) -> float & {
      return rows ? img[size_t(node.y + l) * size_t(width) + size_t(node.x + i)]
                  : img[size_t(node.y + i) * size_t(width) + size_t(node.x + l)];
    };
    for (int i = 0; i < len; ++i) line[size_t(i)] = px(i);
    fn(line, out);
    for (int i = 0; i < len; ++i) px(i) = out[size_t(i)];
  }
}

void RefDecompose(std::vector<float> &img, int width, const WsqTrees &trees) {
  for (const WaveletNode &node : trees.w) {
    ForLines(img.data(), width, node, true, [&](auto &l, auto &o) { RefAnalyze(l, o, node.invRows); });
    ForLines(img.data(), width, node, false, [&](auto &l, auto &o) { RefAnalyze(l, o, node.invCols); });
  }
}

void RefReconstruct(std::vector<float> &img, int width, const WsqTrees &trees, const TransformTable &t) {
  for (int i = kWaveletNodes - 1; i >= 0; --i) {
    const WaveletNode &node = trees.w[i];
    ForLines(img.data(), width, node, false, [&](auto &l, auto &o) { RefSynthesize(l, o, node.invCols, t); });
    ForLines(img.data(), width, node, true, [&](auto &l, auto &o) { RefSynthesize(l, o, node.invRows, t); });
  }
}

std::vector<float> RandomImage(int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(-128.0f, 128.0f);
  std::vector<float> img(size_t(w) * size_t(h));
  for (float &v : img) v = d(rng);
  return img;
}

}  // namespace

TEST(Trees, NodeSizes) {
  WsqTrees t;
  build_wsq_trees(t, 256, 360);
  EXPECT_EQ(t.w[1].lenx, 128);
  EXPECT_EQ(t.w[1].leny, 180);
  EXPECT_EQ(t.w[14].lenx, 64);
  EXPECT_EQ(t.w[14].leny, 90);
  EXPECT_EQ(t.w[15].lenx, 32);
  EXPECT_EQ(t.w[15].leny, 45);
  EXPECT_EQ(t.w[19].lenx, 16);
  EXPECT_EQ(t.w[19].leny, 23);
  build_wsq_trees(t, 257, 301);
  EXPECT_EQ(t.w[1].lenx, 129);
  EXPECT_EQ(t.w[2].lenx, 128);
  EXPECT_EQ(t.w[4].lenx, 64);
  EXPECT_EQ(t.w[4].x, 65);
  EXPECT_EQ(t.w[14].lenx, 65);
  // Subband areas: 0-3 a 1/1024 of the image, 4-50 1/256, 51-63 1/16.
  build_wsq_trees(t, 1024, 1024);
  for (int k = 0; k < 64; ++k)
    EXPECT_EQ(t.q[k].lenx * t.q[k].leny, 1024 * 1024 / (k <= 3 ? 1024 : (k <= 50 ? 256 : 16))) << k;
}

TEST(Trees, SubbandsTileTheImage) {
  for (int w = 1; w <= 300; w += (w < 40 ? 1 : 13)) {
    for (int h = 1; h <= 300; h += (h < 40 ? 3 : 17)) {
      WsqTrees t;
      build_wsq_trees(t, w, h);
      std::vector<int> cover(size_t(w) * size_t(h), 0);
      for (const SubbandNode &s : t.q) {
        ASSERT_GE(s.lenx, 0);
        ASSERT_GE(s.leny, 0);
        ASSERT_LE(s.x + s.lenx, w);
        ASSERT_LE(s.y + s.leny, h);
        for (int y = s.y; y < s.y + s.leny; ++y)
          for (int x = s.x; x < s.x + s.lenx; ++x) ++cover[size_t(y) * size_t(w) + size_t(x)];
      }
      for (int c : cover) ASSERT_EQ(c, 1) << w << "x" << h;
    }
  }
}

TEST(Transform, LinesReconstructForEveryLength) {
  const TransformTable t = StreamFilters();
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> d(-128.0f, 128.0f);
  for (int n = 1; n <= 64; ++n) {
    for (bool invert : {false, true}) {
      std::vector<float> x(static_cast<size_t>(n)), mid(static_cast<size_t>(n)), back(static_cast<size_t>(n));
      for (float &v : x) v = d(rng);
      std::vector<const float *> xs(static_cast<size_t>(n)), ms(static_cast<size_t>(n));
      std::vector<float *> md(static_cast<size_t>(n)), bd(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) {
        xs[size_t(i)] = &x[size_t(i)];
        md[size_t(i)] = &mid[size_t(i)];
        ms[size_t(i)] = &mid[size_t(i)];
        bd[size_t(i)] = &back[size_t(i)];
      }
      ApplyPlan(MakeAnalysisPlan(n, kLoFilt, 9, kHiFilt, 7, invert), xs.data(), md.data(), 1);
      ApplyPlan(MakeSynthesisPlan(n, t.lofilt.data(), 7, t.hifilt.data(), 9, invert), ms.data(), bd.data(), 1);
      for (int i = 0; i < n; ++i) ASSERT_NEAR(back[size_t(i)], x[size_t(i)], 1e-3) << "n=" << n << " i=" << i;
      // The plain formulas agree exactly.
      std::vector<float> refMid, refBack;
      RefAnalyze(x, refMid, invert);
      RefSynthesize(refMid, refBack, invert, t);
      for (int i = 0; i < n; ++i) {
        ASSERT_EQ(mid[size_t(i)], refMid[size_t(i)]) << "n=" << n;
        ASSERT_EQ(back[size_t(i)], refBack[size_t(i)]) << "n=" << n;
      }
    }
  }
}

TEST(Transform, ConstantStaysConstantThroughSynthesis) {
  const TransformTable t = StreamFilters();
  for (int n : {1, 2, 5, 16, 33}) {
    // A constant low half and an empty high half: 1/sqrt(2) per level.
    std::vector<float> in(size_t(n), 0.0f);
    for (int j = 0; j < (n + 1) / 2; ++j) in[size_t(j)] = 10.0f;
    std::vector<float> x;
    RefSynthesize(in, x, false, t);
    for (float v : x) EXPECT_NEAR(v, 10.0f / std::sqrt(2.0f), 1e-4) << n;
  }
}

TEST(Transform, ImageMatchesPlainTransformExactly) {
  const TransformTable t = StreamFilters();
  for (auto [w, h] : {std::pair{257, 301}, {64, 64}, {17, 9}, {1, 1}, {2, 3}, {5, 7}, {81, 40}, {300, 13}}) {
    WsqTrees trees;
    build_wsq_trees(trees, w, h);
    const std::vector<float> orig = RandomImage(w, h, uint32_t(w * 1000 + h));
    std::vector<float> fast = orig, ref = orig;
    ASSERT_EQ(wsq_decompose(fast.data(), w, h, trees.w, kHiFilt, 7, kLoFilt, 9), 0);
    RefDecompose(ref, w, trees);
    for (size_t i = 0; i < fast.size(); ++i) ASSERT_EQ(fast[i], ref[i]) << w << "x" << h << " at " << i;
    ASSERT_EQ(wsq_reconstruct(fast.data(), w, h, trees.w, t), 0);
    RefReconstruct(ref, w, trees, t);
    float maxErr = 0.0f;
    for (size_t i = 0; i < fast.size(); ++i) {
      ASSERT_EQ(fast[i], ref[i]) << w << "x" << h << " at " << i;
      maxErr = std::max(maxErr, std::fabs(fast[i] - orig[i]));
    }
    EXPECT_LT(maxErr, 2e-3) << w << "x" << h;
  }
}

TEST(Transform, ReconstructNeedsFilters) {
  WsqTrees trees;
  build_wsq_trees(trees, 8, 8);
  std::vector<float> img(64, 0.0f);
  TransformTable none;
  wsqtest::StderrCapture err;
  EXPECT_EQ(wsq_reconstruct(img.data(), 8, 8, trees.w, none), -95);
  none.loDefined = true;
  none.lofilt.assign(7, 0.0f);
  EXPECT_EQ(wsq_reconstruct(img.data(), 8, 8, trees.w, none), -96);
}

TEST(Normalisation, ScaleShiftAndInverse) {
  const uint8_t px[4] = {0, 100, 200, 100};
  float f[4], m, r;
  ASSERT_EQ(conv_img_2_flt(f, &m, &r, px, 4), 0);
  EXPECT_FLOAT_EQ(m, 100.0f);
  EXPECT_FLOAT_EQ(r, 100.0f / 128.0f);
  EXPECT_FLOAT_EQ(f[0], -128.0f);
  EXPECT_FLOAT_EQ(f[2], 128.0f);
  uint8_t back[4];
  conv_flt_2_img(back, f, 2, 2, m, r);
  EXPECT_EQ(std::vector<uint8_t>(back, back + 4), std::vector<uint8_t>(px, px + 4));
  // Out-of-range values clamp.
  const float wild[2] = {1000.0f, -1000.0f};
  conv_flt_2_img(back, wild, 2, 1, m, r);
  EXPECT_EQ(back[0], 255);
  EXPECT_EQ(back[1], 0);
  // A constant image has r_scale 0 and zero floats, never NaN.
  const uint8_t flat[3] = {77, 77, 77};
  ASSERT_EQ(conv_img_2_flt(f, &m, &r, flat, 3), 0);
  EXPECT_EQ(r, 0.0f);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(f[i], 0.0f);
}
