// Background clearing: the decision table, the block-map steps, identity of
// the hot filters with the plain reference, and the effect on fingers.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "background_clear.h"
#include "image_analysis.h"
#include "reference.h"
#include "test_images.h"

namespace {

using belnor::ClearContext;
using testimg::FingerShape;
using testimg::Image;

bool AllEqual(const Image &img, uint8_t v) {
  for (uint8_t p : img.pixels)
    if (p != v) return false;
  return true;
}

FingerShape CentreFinger() {
  FingerShape s;
  s.cx = 320, s.cy = 330, s.ax = 140, s.ay = 190;
  // Core at the centre: circular ridges, so no row of a probe window sees
  // one long dark-under-bright edge.
  s.loops = true;
  s.coreDrop = 0;
  s.background = 236;
  return s;
}

TEST(BackgroundClear, DecisionTable) {
  ClearContext ctx;
  // Dark level and no probe edge: everything becomes the level.
  Image dark = testimg::Finger(640, 640, CentreFinger());
  belnor::ClearBackground(ctx, dark.data(), 640, 640, 89);
  EXPECT_TRUE(AllEqual(dark, 89));

  // Flat bright image: too few energetic pixels, everything becomes the level.
  Image flat = testimg::Flat(640, 640, 200, 0, 1);
  belnor::ClearBackground(ctx, flat.data(), 640, 640, 230);
  EXPECT_TRUE(AllEqual(flat, 230));

  // Small fingers either side of the energy threshold: about 1140 energetic
  // pixels keep their ridges, about 870 are painted flat.
  for (int radius : {24, 28}) {
    FingerShape small = CentreFinger();
    small.ax = radius, small.ay = radius * 1.3;
    Image img = testimg::Finger(640, 640, small);
    belnor::ClearBackground(ctx, img.data(), 640, 640, 236);
    EXPECT_EQ(AllEqual(img, 236), radius == 24) << "finger of radius " << radius;
  }

  // Width 250 is refused by the masked filter and stays unchanged.
  Image narrow = testimg::Finger(250, 400, CentreFinger());
  const Image narrowBefore = narrow;
  EXPECT_EQ(belnor::ClearBackgroundMasked(ctx, narrow.data(), 250, 400, 240), -1);
  belnor::ClearBackground(ctx, narrow.data(), 250, 400, 240);
  EXPECT_EQ(narrow.pixels, narrowBefore.pixels);
  EXPECT_EQ(belnor::ClearBackgroundMasked(ctx, nullptr, 640, 640, 240), -1);
  EXPECT_EQ(belnor::ClearBackgroundMasked(ctx, flat.data(), 640, 359, 240), -1);
}

TEST(BackgroundClear, DarkEdgeInAnyProbeWindowLeavesTheImageAlone) {
  const int corners[5][2] = {{3, 3}, {640 - 144, 3}, {320 - 70, 320 - 40}, {3, 640 - 84}, {640 - 144, 640 - 84}};
  belnor::ClearContext ctx;
  for (const auto &c : corners) {
    Image img = testimg::Finger(640, 640, CentreFinger());
    // A bright band over a dark one across 100 columns of the window.
    for (int x = c[0] + 10; x < c[0] + 110; ++x) {
      img.at(x, c[1] + 30) = 250;
      img.at(x, c[1] + 31) = 250;
      img.at(x, c[1] + 32) = 100;
      img.at(x, c[1] + 33) = 100;
    }
    EXPECT_EQ(belnor::HasEdgeProbe(img.data(), 640, 640), 1);
    const Image before = img;
    belnor::ClearBackground(ctx, img.data(), 640, 640, 80);
    EXPECT_EQ(img.pixels, before.pixels);
  }
  // Straight horizontal ridges through the centre also count as an edge.
  FingerShape stripes = CentreFinger();
  stripes.loops = false, stripes.straightAngle = 0;
  Image img = testimg::Finger(640, 640, stripes);
  EXPECT_EQ(belnor::HasEdgeProbe(img.data(), 640, 640), 1);
  // Too small for the windows: no probe reads outside, no edge.
  Image small = testimg::Flat(146, 200, 0, 0, 1);
  EXPECT_EQ(belnor::HasEdgeProbe(small.data(), 146, 200), 0);
  EXPECT_EQ(belnor::HasEdgeProbe(small.data(), 200, 86), 0);
}

TEST(BackgroundClear, LowContrastHalfImageIsNotRefined) {
  ClearContext ctx;
  Image half = testimg::Random(320, 320, 3);
  for (auto &p : half.pixels) p = uint8_t(236 + p % 20);
  std::vector<uint8_t> mask(320 * 320, 77);
  EXPECT_FALSE(belnor::RefineEdgeMap(ctx, half.data(), mask.data(), 320, 320, 240));
  EXPECT_EQ(mask, std::vector<uint8_t>(320 * 320, 77));
  // Such an image is painted flat.
  Image full(testimg::Random(640, 640, 4));
  for (auto &p : full.pixels) p = uint8_t(236 + p % 20);
  belnor::ClearBackground(ctx, full.data(), 640, 640, 240);
  EXPECT_TRUE(AllEqual(full, 240));
}

TEST(BackgroundClear, JoiningTakesTheEarlierNeighbour) {
  // Distance 1 on a 6 x 5 map: columns 2..3 are tested horizontally.
  std::vector<uint8_t> low(30, 200);
  low[2 * 6 + 1] = 210, low[2 * 6 + 2] = 10, low[2 * 6 + 3] = 220;
  belnor::JoinBlocks(low.data(), 6, 5, 1);
  EXPECT_EQ(low[2 * 6 + 2], 210);  // low between two highs takes the left value
  // A high block between two lows takes the left (low) value.
  std::vector<uint8_t> high(30, 50);
  high[2 * 6 + 1] = 40, high[2 * 6 + 2] = 180, high[2 * 6 + 3] = 60;
  belnor::JoinBlocks(high.data(), 6, 5, 1);
  EXPECT_EQ(high[2 * 6 + 2], 40);
  // In place: a block sees the changes made before it in the same pass.
  std::vector<uint8_t> chain(30, 0);
  chain[1 * 6 + 1] = chain[2 * 6 + 1] = chain[3 * 6 + 1] = 200, chain[2 * 6 + 3] = 200;
  // Column 2 (low between highs) becomes 200; column 3 then sees 200 on its
  // left and keeps its value, though it began between two lows.
  belnor::JoinBlocks(chain.data(), 6, 5, 1);
  EXPECT_EQ(chain[2 * 6 + 2], 200);
  EXPECT_EQ(chain[2 * 6 + 3], 200);
  // Column 0 is compared with its upper and lower neighbours instead.
  std::vector<uint8_t> edge(30, 0);
  edge[1 * 6] = 150, edge[3 * 6] = 140;
  edge[1 * 6 + 1] = 150;  // horizontal neighbours of column 1 do not matter
  belnor::JoinBlocks(edge.data(), 6, 5, 1);
  EXPECT_EQ(edge[2 * 6], 150);
}

TEST(BackgroundClear, CornerTriangle) {
  // Empty centre block, right neighbour 200, lower neighbour 100.
  std::vector<uint8_t> b = {0, 0, 0, 0, 0, 200, 0, 100, 0};
  std::vector<uint8_t> E(24 * 24, 0);
  belnor::PaintCornerTriangles(E.data(), 24, b.data(), 3, 3);
  const int X = 8, Y = 8;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool inside = y >= 1 && y <= 6 && x <= 6 && x >= 7 - y;
      EXPECT_EQ(E[size_t(Y + y) * 24 + X + x], inside ? 150 : 0) << x << "," << y;
    }
  // The painted blocks themselves get no triangles.
  EXPECT_EQ(E[size_t(8) * 24 + 17], 0);
}

TEST(BackgroundClear, FiltersMatchReference) {
  ClearContext ctx;
  const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 2}, {31, 17}, {128, 180}, {320, 320}};
  uint32_t seed = 21;
  for (const auto &s : sizes) {
    const int w = s[0], h = s[1];
    Image img = testimg::Random(w, h, seed++);
    for (int radius : {0, 1, 8, 16}) {
      std::vector<uint8_t> a(size_t(w) * h), b(size_t(w) * h);
      for (int L : {90, 150, 255}) {
        ASSERT_EQ(belnor::EdgeEnergyMap(ctx, img.data(), w, h, a.data(), radius, uint8_t(L)),
                  ref::EdgeEnergyMap(img.data(), w, h, b.data(), radius, uint8_t(L)));
        ASSERT_EQ(a, b) << w << "x" << h << " radius " << radius;
      }
    }
    std::vector<uint8_t> untouched(size_t(w) * h, 5);
    EXPECT_EQ(belnor::EdgeEnergyMap(ctx, img.data(), w, h, untouched.data(), 17, 100), 0);
    EXPECT_EQ(untouched, std::vector<uint8_t>(size_t(w) * h, 5));
    Image a = img, b = img;
    belnor::ScratchBuffer<uint16_t> sums;
    belnor::Smooth3x3(a.data(), w, h, sums);
    ref::Smooth3x3(b.data(), w, h);
    ASSERT_EQ(a.pixels, b.pixels) << w << "x" << h;
  }
}

// Images rich in pixels at and next to the level exercise the seam rules'
// left-to-right dependence.
TEST(BackgroundClear, MaskApplicationMatchesReference) {
  ClearContext ctx;
  uint32_t seed = 99;
  const int sizes[][2] = {{5, 5}, {7, 4}, {64, 64}, {257, 361}, {640, 640}};
  for (const auto &s : sizes) {
    const int W = s[0], H = s[1];
    for (int L : {90, 128, 240, 255}) {
      Image img = testimg::Random(W, H, seed++);
      for (auto &p : img.pixels) {
        const int k = p % 8;
        p = k < 3 ? uint8_t(L) : k == 3 ? uint8_t(std::min(255, L + 1)) : k == 4 ? uint8_t(L - 1) : p;
      }
      Image mask = testimg::Random(W / 2 > 0 ? W / 2 : 1, H / 2 > 0 ? H / 2 : 1, seed++);
      Image a = img, b = img;
      belnor::ApplyBackgroundMask(ctx, a.data(), W, H, mask.data(), uint8_t(L));
      ref::ApplyBackgroundMask(b.data(), W, H, mask.data(), uint8_t(L));
      ASSERT_EQ(a.pixels, b.pixels) << W << "x" << H << " L " << L;
    }
  }
  // Fingers with the mask the clearing computes for them: long runs at the
  // level, seams along the finger's edge.
  for (int size : {640, 1001}) {
    FingerShape shape = CentreFinger();
    shape.cx = size / 2.0, shape.cy = size / 2.0;
    const Image img = testimg::Finger(size, size, shape);
    const int w = size / 2, h = size / 2;
    Image half{w, h, std::vector<uint8_t>(size_t(w) * h)};
    for (int i = 0; i < h; ++i)
      for (int j = 0; j < w; ++j) half.at(j, i) = img.pixels[size_t(2 * i) * size + 2 * j];
    std::vector<uint8_t> mask(size_t(w) * h);
    belnor::EdgeEnergyMap(ctx, half.data(), w, h, mask.data(), 8, 236);
    ASSERT_TRUE(belnor::RefineEdgeMap(ctx, half.data(), mask.data(), w, h, 236));
    for (int L : {230, 236, 240}) {
      Image a = img, b = img;
      belnor::ApplyBackgroundMask(ctx, a.data(), size, size, mask.data(), uint8_t(L));
      ref::ApplyBackgroundMask(b.data(), size, size, mask.data(), uint8_t(L));
      ASSERT_EQ(a.pixels, b.pixels) << size << " L " << L;
    }
  }
}

TEST(BackgroundClear, FingerKeepsItsInteriorAndLosesItsSurroundings) {
  belnor::ClearContext ctx;
  for (int size : {640, 1000}) {
    FingerShape shape = CentreFinger();
    shape.cx = size / 2.0, shape.cy = size / 2.0 + 10;
    Image img = testimg::Finger(size, size, shape);
    // Dust specks far from the finger.
    for (int k = 0; k < 12; ++k) {
      const int x = 20 + k * 13, y = size - 40 - k * 9;
      for (int d = 0; d < 9; ++d) img.at(x + d % 3, y + d / 3) = 90;
    }
    const Image before = img;
    const uint8_t L = belnor::EstimateBackgroundLevel(img.data(), size, size);
    EXPECT_NEAR(L, 236, 3);
    ASSERT_EQ(belnor::HasEdgeProbe(img.data(), size, size), 0);
    belnor::ClearBackground(ctx, img.data(), size, size, L);
    int changedInside = 0, wrongOutside = 0;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        const int p = before.pixels[size_t(y) * size + x], q = img.pixels[size_t(y) * size + x];
        ASSERT_TRUE(q == p || q == L || q == (L + p) / 2) << x << "," << y;
        const double ex = (x - shape.cx) / shape.ax, ey = (y - shape.cy) / shape.ay;
        const double d = std::sqrt(ex * ex + ey * ey);
        if (d < 0.75) changedInside += q != p;
        if (d > 1.3) wrongOutside += q != L;
      }
    EXPECT_EQ(changedInside, 0) << size;
    EXPECT_EQ(wrongOutside, 0) << size;
  }
}

}  // namespace

namespace {

// Random images of every size the pipeline clears, and sizes around the
// limits: every pixel stays itself, becomes the level or their mean.
TEST(BackgroundClear, RandomImagesOfAllSizesKeepTheOutputInvariant) {
  const int sizes[][2] = {{640, 640}, {360, 258}, {1600, 1500}, {2304, 2304}, {256, 360},
                          {400, 400}, {1, 1},     {146, 86},    {147, 87},    {250, 400},
                          {257, 361}, {4001, 360}};
  ClearContext ctx;
  uint32_t seed = 5;
  for (const auto &s : sizes)
    for (int L : {60, 90, 200, 255}) {
      Image img = testimg::Random(s[0], s[1], seed++);
      // Smooth a little so that some images pass the probes.
      for (size_t k = 1; k < img.pixels.size(); ++k)
        img.pixels[k] = uint8_t((img.pixels[k] + 3 * img.pixels[k - 1]) / 4);
      const Image before = img;
      belnor::ClearBackground(ctx, img.data(), s[0], s[1], uint8_t(L));
      for (size_t k = 0; k < img.pixels.size(); ++k) {
        const int p = before.pixels[k], q = img.pixels[k];
        ASSERT_TRUE(q == p || q == L || q == (L + p) / 2) << s[0] << "x" << s[1] << " L " << L;
      }
    }
}

}  // namespace
