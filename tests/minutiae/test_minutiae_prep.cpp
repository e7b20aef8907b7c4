// Image preparation against brute-force references and the stated edge cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "image_prep.h"

using namespace minutiae;

namespace {

std::vector<uint8_t> Random(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(size_t(w) * h);
  for (uint8_t &b : v) b = uint8_t(rng());
  return v;
}

std::vector<uint8_t> BruteBox(const std::vector<uint8_t> &img, int w, int h, int r) {
  std::vector<uint8_t> out(img.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int s = 0, n = 0;
      for (int yy = std::max(0, y - r); yy <= std::min(h - 1, y + r); ++yy)
        for (int xx = std::max(0, x - r); xx <= std::min(w - 1, x + r); ++xx) {
          s += img[size_t(yy) * w + xx];
          ++n;
        }
      out[size_t(y) * w + x] = uint8_t(s / n);
    }
  return out;
}

}  // namespace

TEST(BoxMean, MatchesBruteForceForSmallAndLargeRadii) {
  for (int r : {1, 3, 4, 7, 20}) {
    auto img = Random(64, 48, unsigned(r));
    const auto want = BruteBox(img, 64, 48, r);
    ASSERT_EQ(boxMean(img.data(), 64, 48, r), 0);
    EXPECT_EQ(img, want) << r;
  }
  // Radius 127 on a 256 x 360 image, checked at a few pixels.
  auto img = Random(256, 360, 9);
  const auto orig = img;
  ASSERT_EQ(boxMean(img.data(), 256, 360, 127), 0);
  for (auto [x, y] : {std::pair{0, 0}, {255, 359}, {128, 180}, {3, 300}}) {
    int64_t s = 0, n = 0;
    for (int yy = std::max(0, y - 127); yy <= std::min(359, y + 127); ++yy)
      for (int xx = std::max(0, x - 127); xx <= std::min(255, x + 127); ++xx) {
        s += orig[size_t(yy) * 256 + xx];
        ++n;
      }
    EXPECT_EQ(img[size_t(y) * 256 + x], s / n);
  }
}

TEST(BoxMean, ClippedDivisors) {
  // A single 225 at a corner: radius 4 divides by 25 there, 45 at an edge, 81 inside.
  std::vector<uint8_t> img(20 * 20, 0);
  img[0] = 225;
  boxMean(img.data(), 20, 20, 4);
  EXPECT_EQ(img[0], 9);
  std::vector<uint8_t> edge(20 * 20, 0);
  edge[10] = 225;
  boxMean(edge.data(), 20, 20, 4);
  EXPECT_EQ(edge[10], 5);
  std::vector<uint8_t> inner(20 * 20, 0);
  inner[10 * 20 + 10] = 243;
  boxMean(inner.data(), 20, 20, 4);
  EXPECT_EQ(inner[10 * 20 + 10], 3);
}

TEST(SmoothMean3x3, UniformPointAndBorders) {
  std::vector<uint8_t> u(16 * 16, 77);
  smoothMean3x3(u.data(), 16, 16);
  for (uint8_t v : u) ASSERT_EQ(v, 77);
  std::vector<uint8_t> p(16 * 16, 0);
  p[8 * 16 + 8] = 90;
  smoothMean3x3(p.data(), 16, 16);
  for (int y = 7; y <= 9; ++y)
    for (int x = 7; x <= 9; ++x) EXPECT_EQ(p[size_t(y) * 16 + x], 10);
  EXPECT_EQ(p[6 * 16 + 8], 0);
  // Corners average 4 pixels, edges 6.
  std::vector<uint8_t> c(16 * 16, 0);
  c[0] = 100;
  c[5] = 60;
  smoothMean3x3(c.data(), 16, 16);
  EXPECT_EQ(c[0], 25);
  EXPECT_EQ(c[1], 16);
  EXPECT_EQ(c[5], 10);
  EXPECT_EQ(c[16 + 5], 6);
  // Random image against a brute-force clipped 3x3 mean.
  auto r = Random(40, 30, 2);
  const auto want = BruteBox(r, 40, 30, 1);
  smoothMean3x3(r.data(), 40, 30);
  EXPECT_EQ(r, want);
}

TEST(NormalizeLocalContrast, StaysInRangeAndStretchesTexture) {
  std::vector<uint8_t> img(256 * 360);
  for (int y = 0; y < 360; ++y)
    for (int x = 0; x < 256; ++x) img[size_t(y) * 256 + x] = uint8_t(100 + 20 * ((x / 4) % 2));
  ASSERT_EQ(normalizeLocalContrast(img.data(), 256, 360), 0);
  int lo = 255, hi = 0;
  for (int y = 40; y < 320; ++y)
    for (int x = 40; x < 216; ++x) {
      lo = std::min<int>(lo, img[size_t(y) * 256 + x]);
      hi = std::max<int>(hi, img[size_t(y) * 256 + x]);
    }
  EXPECT_LE(lo, 40);
  EXPECT_GE(hi, 215);
  // A black image (local mean 0) is left as it is.
  std::vector<uint8_t> black(256 * 360, 0);
  normalizeLocalContrast(black.data(), 256, 360);
  for (uint8_t v : black) ASSERT_EQ(v, 0);
}

TEST(IsBlankImage, Rules) {
  const int w = 256, h = 360;
  std::vector<uint8_t> u(size_t(w) * h, 200), s = u;
  EXPECT_EQ(isBlankImage(u.data(), s.data(), w, h), 1);
  std::vector<uint8_t> dim = Random(w, h, 4);
  for (uint8_t &b : dim) b = uint8_t(b / 10);  // mean below 30
  s = dim;
  smoothMean3x3(s.data(), w, h);
  EXPECT_EQ(isBlankImage(dim.data(), s.data(), w, h), 1);
  std::vector<uint8_t> tex(size_t(w) * h);
  for (size_t i = 0; i < tex.size(); ++i) tex[i] = uint8_t(((i % w) / 3) % 2 ? 220 : 40);
  s = tex;
  smoothMean3x3(s.data(), w, h);
  EXPECT_EQ(isBlankImage(tex.data(), s.data(), w, h), 0);
  // Dark texture: stripes of 0 and v over 127 of 256 columns, mean 29 for v = 60, 30 for v = 62.
  for (int v : {60, 62}) {
    for (size_t i = 0; i < tex.size(); ++i) tex[i] = uint8_t(((i % w) / 3) % 2 ? v : 0);
    s = tex;
    smoothMean3x3(s.data(), w, h);
    EXPECT_EQ(isBlankImage(tex.data(), s.data(), w, h), v == 60 ? 1 : 0) << "stripes of " << v;
  }
}

TEST(SmoothCross5, BordersAndLastRow) {
  const int w = 12, h = 9;
  auto src = Random(w, h, 8);
  std::vector<uint8_t> dst(src.size());
  smoothCross5(dst.data(), src.data(), w, h, false);
  for (int y = 0; y < h - 1; ++y) {
    EXPECT_EQ(dst[size_t(y) * w], src[size_t(y) * w]);
    EXPECT_EQ(dst[size_t(y) * w + w - 1], src[size_t(y) * w + w - 1]);
  }
  for (int x = 0; x < w; ++x) {
    EXPECT_EQ(dst[size_t(x)], src[size_t(x)]);
    EXPECT_EQ(dst[size_t(h - 1) * w + x], src[size_t(h - 2) * w + x]);
  }
  const int y = 4, x = 5;
  const auto at = [&](int yy, int xx) { return int(src[size_t(yy) * w + xx]); };
  EXPECT_EQ(dst[size_t(y) * w + x], (at(y - 1, x) + at(y + 1, x) + at(y, x - 1) + at(y, x + 1) + 4 * at(y, x)) >> 3);
  smoothCross5(dst.data(), src.data(), w, h, true);
  for (int xx = 0; xx < w; ++xx) EXPECT_EQ(dst[size_t(h - 1) * w + xx], src[size_t(h - 1) * w + xx]);
}
