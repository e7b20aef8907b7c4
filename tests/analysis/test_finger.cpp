// Finger region and score on synthetic and real prints: present, absent,
// partial and off-centre fingers, shift invariance, identity of the block map
// with the reference, and the score's range on random images.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "image_analysis.h"
#include "reference.h"
#include "test_images.h"

namespace {

using belnor::AnalysisContext;
using belnor::Rectangle;
using testimg::FingerShape;
using testimg::Image;

struct Result {
  int found;
  Rectangle rect;
  int score;
};

Result Analyse(const Image &img) {
  Result r{};
  belnor::AnalysisContext ctx;
  r.found = belnor::FindFingerRegion(ctx, img.data(), img.width, img.height, &r.rect);
  r.score = belnor::FingerScore(ctx, img.data(), img.width, img.height, nullptr);
  return r;
}

// Box of the pixels darker than the platen (the finger's contact area).
Rectangle DarkBox(const Image &img, int below) {
  Rectangle r{img.width, img.height, -1, -1};
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (img.pixels[size_t(y) * img.width + x] < below) {
        r.left = std::min(r.left, x);
        r.right = std::max(r.right, x);
        r.top = std::min(r.top, y);
        r.bottom = std::max(r.bottom, y);
      }
  return r;
}

// The region's box (right and bottom name the last block) lies inside the
// finger's box widened by tolerance and covers most of it.
void ExpectBoxMatches(const Rectangle &found, const Rectangle &finger, int tolerance) {
  EXPECT_GE(found.left, finger.left - tolerance);
  EXPECT_GE(found.top, finger.top - tolerance);
  EXPECT_LE(found.right + 8, finger.right + tolerance);
  EXPECT_LE(found.bottom + 8, finger.bottom + tolerance);
  EXPECT_LE(found.left, finger.left + tolerance);
  EXPECT_LE(found.top, finger.top + tolerance);
  EXPECT_GE(found.right + 8, finger.right - tolerance);
  EXPECT_GE(found.bottom + 8, finger.bottom - tolerance);
}

FingerShape Centred(int W, int H) {
  FingerShape s;
  s.cx = W / 2.0, s.cy = H / 2.0;
  s.ax = W * 0.2, s.ay = H * 0.27;
  return s;
}

TEST(FingerRegion, FingerPresentOnSyntheticPrints) {
  const int sizes[][2] = {{640, 640}, {400, 400}, {256, 360}, {1600, 1500}};
  for (const auto &size : sizes) {
    const int W = size[0], H = size[1];
    for (bool loops : {true, false}) {
      FingerShape shape = Centred(W, H);
      if (W == 256) shape.ax = 100, shape.ay = 150;
      if (W == 1600) shape.ax = 260, shape.ay = 340;
      shape.loops = loops;
      const Image img = testimg::Finger(W, H, shape);
      const Result r = Analyse(img);
      SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H) + (loops ? " loops" : " straight"));
      ASSERT_GT(r.found, 0);
      ExpectBoxMatches(r.rect, DarkBox(img, 200), 24);
      EXPECT_GE(r.score, loops ? 50 : 20);
      EXPECT_LE(r.score, 100);
    }
  }
}

TEST(FingerRegion, LoopsScoreAboveStraightRidges) {
  FingerShape shape = Centred(640, 640);
  const int loops = Analyse(testimg::Finger(640, 640, shape)).score;
  shape.loops = false;
  const int straight = Analyse(testimg::Finger(640, 640, shape)).score;
  EXPECT_GT(loops, straight);
}

TEST(FingerRegion, EmptyPlatenNoiseAndDustShowNoFinger) {
  Image platen = testimg::Flat(640, 640, 242, 3, 9);
  for (int k = 0; k < 40; ++k) {
    const int x = 20 + (k * 149) % 600, y = 20 + (k * 263) % 600;
    for (int dy = 0; dy < 3; ++dy)
      for (int dx = 0; dx < 3; ++dx) platen.at(x + dx, y + dy) = 60;
  }
  const Result empty = Analyse(platen);
  EXPECT_EQ(empty.found, 0);
  EXPECT_EQ(empty.score, 0);
  const Result white = Analyse(testimg::Flat(640, 640, 255, 0, 1));
  EXPECT_EQ(white.found, 0);
  EXPECT_EQ(white.score, 0);
  // Sensor noise up to +-15 grey levels on platens of different brightness.
  for (int level : {200, 240, 250})
    for (int noise : {8, 15}) {
      const Result noisy = Analyse(testimg::Flat(640, 640, level, noise, uint32_t(level + noise)));
      EXPECT_EQ(noisy.found, 0) << level << " +-" << noise;
      EXPECT_EQ(noisy.score, 0) << level << " +-" << noise;
    }
  // Probes darker than 20: no block map at all, whatever lies in the image.
  FingerShape shape = Centred(640, 640);
  shape.background = 10, shape.ridge = 0, shape.valley = 30, shape.noise = 1;
  EXPECT_EQ(Analyse(testimg::Finger(640, 640, shape)).found, 0);
}

TEST(FingerRegion, SmallPatchesAndThinBandsAreNoFinger) {
  FingerShape patch = Centred(640, 640);
  patch.ax = patch.ay = 45;  // 90 x 90 pixels: box of at most 11 blocks
  EXPECT_EQ(Analyse(testimg::Finger(640, 640, patch)).found, 0);
  Image band = testimg::Flat(640, 640, 240, 3, 4);
  FingerShape stripes = Centred(640, 640);
  stripes.loops = false;
  stripes.ax = 30, stripes.ay = 2000;  // a 60-pixel vertical band
  testimg::DrawFinger(band, stripes);
  EXPECT_EQ(Analyse(band).found, 0);
}

TEST(FingerRegion, OffCentreAndPartialFingers) {
  FingerShape off = Centred(640, 640);
  off.cx = 200, off.cy = 420;
  const Image offImg = testimg::Finger(640, 640, off);
  Result r = Analyse(offImg);
  ASSERT_GT(r.found, 0);
  ExpectBoxMatches(r.rect, DarkBox(offImg, 200), 24);

  // Clipped by the left edge: the region touches column 0 and keeps it.
  FingerShape left = Centred(640, 640);
  left.cx = 40;
  const Image leftImg = testimg::Finger(640, 640, left);
  r = Analyse(leftImg);
  ASSERT_GT(r.found, 0);
  EXPECT_EQ(r.rect.left, 0);
  ExpectBoxMatches(r.rect, DarkBox(leftImg, 200), 24);
  // And by the bottom edge.
  FingerShape bottom = Centred(640, 640);
  bottom.cy = 600;
  r = Analyse(testimg::Finger(640, 640, bottom));
  ASSERT_GT(r.found, 0);
  EXPECT_EQ(r.rect.bottom, 632);
}

// A shift by whole coarse cells (4 blocks) moves the region by the same.
TEST(FingerRegion, ShiftByWholeBlocksShiftsTheRegion) {
  FingerShape shape = Centred(640, 640);
  shape.cx = 300, shape.cy = 310;
  const Image canvas = testimg::Finger(640 + 96, 640 + 96, shape);
  auto crop = [&](int ox, int oy) {
    Image img{640, 640, std::vector<uint8_t>(640 * 640)};
    for (int y = 0; y < 640; ++y)
      std::copy_n(&canvas.pixels[size_t(y + oy) * canvas.width + ox], 640, &img.pixels[size_t(y) * 640]);
    return img;
  };
  const Result base = Analyse(crop(96, 96));
  ASSERT_GT(base.found, 0);
  for (int shift : {32, 64, 96}) {
    const Result moved = Analyse(crop(96 - shift, 96));
    ASSERT_GT(moved.found, 0);
    EXPECT_EQ(moved.rect.left, base.rect.left + shift);
    EXPECT_EQ(moved.rect.right, base.rect.right + shift);
    EXPECT_EQ(moved.rect.top, base.rect.top);
    EXPECT_EQ(moved.found, base.found);
    const Result down = Analyse(crop(96, 96 - shift));
    ASSERT_GT(down.found, 0);
    EXPECT_EQ(down.rect.top, base.rect.top + shift);
    EXPECT_EQ(down.rect.bottom, base.rect.bottom + shift);
  }
}

TEST(FingerRegion, RealPrintsPaddedOnWhite) {
  if (testimg::DataFolder().empty()) GTEST_SKIP() << "no print folder";
  const int empty = Analyse(testimg::Flat(640, 640, 250, 3, 2)).score;
  int prints = 0;
  for (int finger = 101; finger <= 110; ++finger)
    for (int impression = 1; impression <= 8; ++impression) {
      const std::string name = std::to_string(finger) + "_" + std::to_string(impression) + ".bmp";
      const Image img = testimg::PaddedPrint(name, 640, 640);
      ASSERT_FALSE(img.pixels.empty()) << name;
      ++prints;
      const Result r = Analyse(img);
      SCOPED_TRACE(name);
      ASSERT_GT(r.found, 0);
      // The print occupies 388 x 374 pixels at (126, 133).
      EXPECT_GE(r.rect.left, 126 - 8);
      EXPECT_GE(r.rect.top, 133 - 8);
      EXPECT_LE(r.rect.right + 8, 126 + 388 + 8);
      EXPECT_LE(r.rect.bottom + 8, 133 + 374 + 8);
      EXPECT_GT(r.score, empty + 20);
    }
  EXPECT_EQ(prints, 80);
}

TEST(FingerRegion, BlockMapMatchesReference) {
  AnalysisContext ctx;
  std::vector<Image> images;
  images.push_back(testimg::Finger(640, 640, Centred(640, 640)));
  FingerShape two = Centred(400, 400);
  two.loops = false, two.straightAngle = 30;
  images.push_back(testimg::Finger(400, 400, two));
  images.push_back(testimg::Finger(256, 360, Centred(256, 360)));
  images.push_back(testimg::Random(333, 257, 5));
  images.push_back(testimg::Flat(200, 120, 128, 40, 6));
  if (!testimg::DataFolder().empty()) images.push_back(testimg::PaddedPrint("103_2.bmp", 640, 640));
  for (const Image &img : images)
    for (int level : {10, 30, 50, 100, 150, 200, 240, 255}) {
      const size_t n = size_t(img.width / 8) * (img.height / 8);
      std::vector<int8_t> a(n, 7), b(n, 7);
      const int ra = belnor::BuildBlockMap(ctx, img.data(), img.width, img.height, a.data(), level);
      const int rb = ref::BuildBlockMap(img.data(), img.width, img.height, b.data(), level);
      ASSERT_EQ(ra, rb) << img.width << "x" << img.height << " level " << level;
      ASSERT_EQ(a, b) << img.width << "x" << img.height << " level " << level;
    }
}

TEST(FingerScore, MatchesLiteralSum) {
  std::vector<Image> images;
  for (int k = 0; k < 6; ++k) {
    FingerShape shape = Centred(640, 640);
    shape.cx = 200 + 50 * k, shape.ax = 90 + 15 * k, shape.ay = 120 + 20 * k;
    shape.loops = k % 2 == 0, shape.straightAngle = 20 * k, shape.period = 7 + k;
    shape.background = 180 + 12 * k;
    images.push_back(testimg::Finger(640, 640, shape));
  }
  images.push_back(testimg::Finger(1600, 1500, Centred(1600, 1500)));
  images.push_back(testimg::Finger(256, 360, Centred(256, 360)));
  if (!testimg::DataFolder().empty())
    for (const char *name : {"102_3.bmp", "105_5.bmp", "109_8.bmp"})
      images.push_back(testimg::PaddedPrint(name, 640, 640));
  AnalysisContext ctx;
  for (const Image &img : images)
    EXPECT_EQ(belnor::FingerScore(ctx, img.data(), img.width, img.height, nullptr),
              ref::FingerScore(img.data(), img.width, img.height));
}

// A reused context gives what a fresh one gives, whatever it analysed before.
TEST(FingerRegion, ResultsDoNotDependOnEarlierImages) {
  const Image big = testimg::Finger(640, 640, Centred(640, 640));
  const Image small = testimg::Finger(256, 360, Centred(256, 360));
  const Image none = testimg::Flat(640, 640, 240, 3, 3);
  const Result freshBig = Analyse(big), freshSmall = Analyse(small);
  AnalysisContext ctx;
  for (int round = 0; round < 3; ++round)
    for (const Image *img : {&big, &none, &small, &big}) {
      Rectangle rect{};
      const int found = belnor::FindFingerRegion(ctx, img->data(), img->width, img->height, &rect);
      const int score = belnor::FingerScore(ctx, img->data(), img->width, img->height, nullptr);
      const Result &want = img == &big ? freshBig : img == &small ? freshSmall : Result{0, {}, 0};
      EXPECT_EQ(found, want.found);
      EXPECT_EQ(score, want.score);
      if (found > 0) {
        EXPECT_EQ(rect.left, want.rect.left);
      }
    }
}

TEST(FingerScore, RangeOnRandomImagesOfPipelineSizes) {
  const int sizes[][2] = {{256, 360}, {400, 400}, {640, 640}, {360, 258}, {800, 750},
                          {1600, 1500}, {0, 0}, {7, 9}, {40, 40}, {49, 49}, {96, 96}, {201, 200}};
  uint32_t seed = 77;
  belnor::AnalysisContext ctx;
  for (const auto &s : sizes) {
    Image img = testimg::Random(s[0], s[1], seed++);
    if (img.pixels.empty()) img.pixels.push_back(0);
    const int score = belnor::FingerScore(img.data(), s[0], s[1], nullptr);
    EXPECT_GE(score, 0);
    EXPECT_LE(score, 100);
    Rectangle r{};
    EXPECT_GE(belnor::FindFingerRegion(ctx, img.data(), s[0], s[1], &r), 0);
    if (s[0] < 200 || s[1] < 200) {
      EXPECT_EQ(belnor::EstimateBackgroundLevel(img.data(), s[0], s[1]), 0);
    }
  }
  EXPECT_EQ(belnor::FingerScore(nullptr, 640, 640, nullptr), -1);
}

TEST(FingerScore, ScoreStaysInRangeOnVariedFingers) {
  uint32_t seed = 1;
  for (int k = 0; k < 12; ++k) {
    FingerShape shape = Centred(640, 640);
    seed = seed * 1664525u + 1013904223u;
    shape.cx = 150 + (seed >> 8) % 340;
    shape.cy = 150 + (seed >> 16) % 340;
    shape.ax = 60 + k * 12, shape.ay = 90 + k * 15;
    shape.period = 6 + k % 6;
    shape.loops = k % 3 != 0;
    shape.background = 160 + k * 8;
    shape.seed = k;
    const Image img = testimg::Finger(640, 640, shape);
    Rectangle rect{};
    const int score = belnor::FingerScore(img.data(), 640, 640, &rect);
    EXPECT_GE(score, 0);
    EXPECT_LE(score, 100);
  }
}

TEST(BackgroundLevels, ProbesAndSizeLimits) {
  Image img = testimg::Flat(640, 480, 200, 0, 1);
  EXPECT_EQ(belnor::EstimateBackgroundLevel(img.data(), 640, 480), 200);
  EXPECT_EQ(belnor::BackgroundLevel(img.data(), 640, 480), 200);
  EXPECT_EQ(belnor::EstimateBackgroundLevel(img.data(), 199, 480), 0);
  EXPECT_EQ(belnor::BackgroundLevel(img.data(), 39, 480), 0);
  // The four (three) brightest probes count: a dark centre and corner do not.
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      if ((x > 200 && x < 450 && y > 150 && y < 330) || (x < 100 && y < 100)) img.at(x, y) = 50;
  EXPECT_EQ(belnor::EstimateBackgroundLevel(img.data(), 640, 480), 200);
  EXPECT_EQ(belnor::BackgroundLevel(img.data(), 640, 480), 200);
  EXPECT_EQ(belnor::RegionMean(img.data(), 640, 0, 0, 10, 10), 50);
  EXPECT_EQ(belnor::BlockMean8(img.data(), 640, 0, 0), 50);
}

}  // namespace
