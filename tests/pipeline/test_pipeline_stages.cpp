// The pipeline's stages on images in memory: the bright level and the step
// it calls for, the loop's limits, the type-2 reflection, window copies that
// must never leave their source, and the finger window with its tracking.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "bright_level.h"
#include "device_state.h"
#include "finger_window.h"
#include "test_images.h"
#include "window_copy.h"

namespace {

using namespace belnor;
using testimg::FingerShape;
using testimg::Image;

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto &b : v) b = uint8_t(rng());
  return v;
}

// ---- Bright level and decision ---------------------------------------------

// Two passes over the samples, exactly as the level is defined.
int ReferenceBrightLevel(const uint8_t *image, int width, int height) {
  const int64_t n = int64_t(width) * height;
  if (n <= 0) return 0;
  int64_t sum = 0;
  for (int64_t k = 0; k < n; k += 4) sum += image[k];
  const int64_t mean = 4 * sum / n;
  const int64_t t = mean % 256 - 19;
  int64_t s = 0, count = 0;
  for (int64_t k = 0; k < n; k += 4)
    if (image[k] >= t) s += image[k], ++count;
  return int(count ? s / count : mean);
}

TEST(BrightLevel, EqualsTheTwoPassDefinitionOnAnyImage) {
  const int sizes[][2] = {{1, 1}, {3, 5}, {7, 7}, {640, 640}, {257, 361}, {1600, 1500}};
  uint32_t seed = 1;
  for (const auto &s : sizes) {
    SCOPED_TRACE(testing::Message() << s[0] << "x" << s[1]);
    auto img = RandomBytes(size_t(s[0]) * s[1], seed++);
    EXPECT_EQ(MeasureBrightLevel(img.data(), s[0], s[1], nullptr),
              ReferenceBrightLevel(img.data(), s[0], s[1]));
    // A bright platen with a dark finger: the level is the platen's.
    for (size_t i = 0; i < img.size(); ++i) img[i] = uint8_t(i % 3 ? 248 : 40 + i % 50);
    EXPECT_EQ(MeasureBrightLevel(img.data(), s[0], s[1], nullptr),
              ReferenceBrightLevel(img.data(), s[0], s[1]));
  }
  EXPECT_EQ(MeasureBrightLevel(nullptr, 0, 0, nullptr), 0);
  EXPECT_EQ(MeasureBrightLevel(nullptr, -4, 10, nullptr), 0);
}

TEST(BrightLevel, HistogramCountsEveryFourthPixelOnTopOfWhatItHeld) {
  std::vector<uint8_t> img(40);
  for (size_t i = 0; i < img.size(); ++i) img[i] = uint8_t(i);
  uint32_t histogram[256] = {};
  histogram[0] = 7;
  MeasureBrightLevel(img.data(), 8, 5, histogram);
  for (int v = 0; v < 40; ++v) EXPECT_EQ(histogram[v], (v % 4 ? 0u : 1u) + (v == 0 ? 7u : 0u)) << v;
  uint32_t counts[256] = {};
  EXPECT_EQ(LowestPopulatedLevel(counts), -1);
  counts[200] = 101;
  counts[90] = 100;  // "more than 100"
  EXPECT_EQ(LowestPopulatedLevel(counts), 200);
}

TEST(LevelDecision, BoundariesOfTheTable) {
  const LevelStep R = LevelStep::kRaise, L = LevelStep::kLower, N = LevelStep::kNone;
  const struct {
    int m, i;
    LevelStep want;
  } cases[] = {
      {0, -1, R},    {244, 200, R}, {245, 0, N},   {250, 100, N}, {251, -1, N},  {251, 29, R},
      {251, 30, N},  {253, 75, N},  {251, 76, L},  {253, 119, L}, {252, 120, N}, {253, 255, N},
      {254, -1, N},  {254, 9, R},   {254, 10, N},  {255, 75, N},  {254, 76, L},  {255, 119, L},
      {255, 120, N}, {255, 160, N}, {255, 161, L}, {255, 200, L}, {255, 224, L}, {255, 225, N},
      {255, 230, N}, {254, 224, N}, {254, 223, L},
  };
  for (const auto &c : cases)
    EXPECT_EQ(DecideLevelStep(c.m, c.i), c.want) << "m " << c.m << " i " << c.i;
}

TEST(LevelDecision, StepsStayWithinTheLoopLimits) {
  const auto raise = [](LevelSetting s) { return NextLevelSetting(s, LevelStep::kRaise); };
  const auto lower = [](LevelSetting s) { return NextLevelSetting(s, LevelStep::kLower); };
  LevelSetting s = raise({95, 100});
  EXPECT_EQ(s.bright, 99);
  EXPECT_EQ(s.contrast, 101);
  s = raise({253, 149});  // brightness at its top: contrast alone moves
  EXPECT_EQ(s.bright, 253);
  EXPECT_EQ(s.contrast, 150);
  s = raise({252, 150});  // 256: the setter refuses it later, the loop does not stop it
  EXPECT_EQ(s.bright, 256);
  EXPECT_EQ(s.contrast, 150);
  s = lower({50, 81});
  EXPECT_EQ(s.bright, 50);
  EXPECT_EQ(s.contrast, 80);
  s = lower({51, 80});
  EXPECT_EQ(s.bright, 47);
  EXPECT_EQ(s.contrast, 80);
  s = NextLevelSetting({120, 120}, LevelStep::kNone);
  EXPECT_EQ(s.bright, 120);
  EXPECT_EQ(s.contrast, 120);
}

// ---- Reflection and copies ------------------------------------------------

TEST(AntiTranspose, ReflectsAboutTheAntiDiagonalAndUndoesItself) {
  for (const auto &s : {std::pair<int, int>{360, 258}, {1, 1}, {5, 3}, {2, 7}}) {
    const int w = s.first, h = s.second;
    const auto src = RandomBytes(size_t(w) * h, uint32_t(w * 31 + h));
    std::vector<uint8_t> t(src.size()), back(src.size());
    AntiTranspose(t.data(), src.data(), w, h);
    for (int i = 0; i < h; ++i)
      for (int j = 0; j < w; ++j)
        ASSERT_EQ(t[size_t(w - 1 - j) * h + (h - 1 - i)], src[size_t(i) * w + j]);
    // K's top-left pixel lands at the bottom-right of the turned image.
    EXPECT_EQ(t.back(), src.front());
    AntiTranspose(back.data(), t.data(), h, w);
    EXPECT_EQ(back, src);
  }
}

TEST(CopyWindow, CopiesABlockOrRefusesOneThatLeavesTheSource) {
  const auto src = RandomBytes(258 * 360, 5);
  std::vector<uint8_t> out(256 * 360, 7);
  ASSERT_EQ(CopyWindow(out.data(), 256, 360, src.data(), 1, 0, 258, 360), 1);
  for (int r = 0; r < 360; ++r)
    for (int c = 0; c < 256; ++c) ASSERT_EQ(out[size_t(r) * 256 + c], src[size_t(r) * 258 + c + 1]);
  const std::vector<uint8_t> before(out);
  EXPECT_EQ(CopyWindow(out.data(), 256, 360, src.data(), 3, 0, 258, 360), 0);  // columns
  EXPECT_EQ(CopyWindow(out.data(), 256, 360, src.data(), 0, 1, 258, 360), 0);  // rows
  EXPECT_EQ(CopyWindow(out.data(), 256, 360, src.data(), -1, 0, 258, 360), 0);
  EXPECT_EQ(CopyWindow(nullptr, 256, 360, src.data(), 0, 0, 258, 360), 0);
  EXPECT_EQ(CopyWindow(out.data(), 256, 360, nullptr, 0, 0, 258, 360), 0);
  EXPECT_EQ(out, before);
}

TEST(CopyWindowInside, KeepsToTheSourceAndWhitensWhatItDoesNotCover) {
  const int sw = 64, sh = 48;
  const auto src = RandomBytes(size_t(sw) * sh, 9);
  const auto at = [&](int x, int y) { return src[size_t(y) * sw + x]; };
  const struct {
    int w, h, x, y;  // window
    int ox, oy;      // origin actually used
  } cases[] = {
      {16, 8, 5, 7, 5, 7},     {16, 8, 48, 40, 48, 40},  // inside, at the far corner
      {16, 8, 60, 45, 48, 40},                           // origin beyond: pulled in
      {80, 8, 10, 2, 0, 2},                              // wider than the source
      {70, 60, 3, 3, 0, 0},                              // larger both ways
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " at " << c.x << "," << c.y);
    // Exact-size buffers: a read or write outside shows under the sanitizers.
    std::vector<uint8_t> out(size_t(c.w) * c.h, 0);
    CopyWindowInside(out.data(), c.w, c.h, src.data(), sw, sh, c.x, c.y);
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        const int sx = c.ox + x, sy = c.oy + y;
        const uint8_t want = sx < sw && sy < sh ? at(sx, sy) : 255;
        ASSERT_EQ(out[size_t(y) * c.w + x], want) << x << "," << y;
      }
  }
}

// ---- Finger window and tracking -------------------------------------------

Image FingerAt(double cx, double cy, int W = 640, int H = 640) {
  FingerShape shape;
  shape.cx = cx;
  shape.cy = cy;
  shape.ax = 100;
  shape.ay = 130;
  return testimg::Finger(W, H, shape);
}

TEST(FingerWindow, CentresOnTheFingerAndStaysInTheImage) {
  AnalysisContext ctx;
  Rectangle box{};
  int x = -1, y = -1;
  Image img = FingerAt(320, 330);
  ASSERT_EQ(FindFingerWindow(ctx, img.data(), 640, 640, 256, 360, 0, &x, &y, &box), 1);
  EXPECT_EQ(x, (box.left + box.right) / 2 - 128);
  EXPECT_EQ(y, (box.top + box.bottom) / 2 - 180 - 8);
  EXPECT_NEAR(x + 128, 320, 24);
  EXPECT_NEAR(y + 188, 330, 24);

  img = FingerAt(560, 90);  // near the top right: pulled into the image
  ASSERT_EQ(FindFingerWindow(ctx, img.data(), 640, 640, 400, 400, 0, &x, &y, nullptr), 1);
  EXPECT_EQ(x, 240);
  EXPECT_EQ(y, 0);

  // No finger: the centred column and the given row, kept inside.
  const Image empty = testimg::Flat(640, 640, 236, 2, 3);
  EXPECT_EQ(FindFingerWindow(ctx, empty.data(), 640, 640, 400, 400, 120, &x, &y, nullptr), 0);
  EXPECT_EQ(x, 120);
  EXPECT_EQ(y, 120);
  EXPECT_EQ(FindFingerWindow(ctx, empty.data(), 640, 640, 400, 400, 500, &x, &y, nullptr), 0);
  EXPECT_EQ(y, 240);
  EXPECT_EQ(FindFingerWindow(ctx, empty.data(), 640, 640, 700, 400, 0, &x, &y, nullptr), 0);
  EXPECT_EQ(x, 0);  // a window wider than the image starts at its edge
  // Null outputs are allowed.
  EXPECT_EQ(FindFingerWindow(ctx, img.data(), 640, 640, 400, 400, 0, nullptr, nullptr, nullptr), 1);
}

TEST(WindowTracker, KeepsTheFirstOriginWhileTheFingerStays) {
  AnalysisContext ctx;
  WindowTracker tracker;
  const Image empty = testimg::Flat(640, 640, 236, 2, 3);
  int x = 0, y = 0, first[2] = {};
  for (int frame = 0; frame < 5; ++frame) {
    const Image img = FingerAt(250 + 20 * frame, 300 + 10 * frame);
    ASSERT_EQ(tracker.Place(ctx, img.data(), 640, 640, 256, 360, 140, &x, &y), 3) << frame;
    if (frame == 0) first[0] = x, first[1] = y;
    EXPECT_EQ(x, first[0]) << frame;
    EXPECT_EQ(y, first[1]) << frame;
  }
  // Lifted: the centred column and the window's row.
  EXPECT_EQ(tracker.Place(ctx, empty.data(), 640, 640, 256, 360, 140, &x, &y), 2);
  EXPECT_EQ(x, 192);
  EXPECT_EQ(y, 140);
  // The next finger anchors afresh.
  const Image moved = FingerAt(420, 380);
  int fx = 0, fy = 0;
  FindFingerWindow(ctx, moved.data(), 640, 640, 256, 360, 0, &fx, &fy, nullptr);
  EXPECT_EQ(tracker.Place(ctx, moved.data(), 640, 640, 256, 360, 140, &x, &y), 3);
  EXPECT_EQ(x, fx);
  EXPECT_EQ(y, fy);
  EXPECT_NE(x, first[0]);
  // A new window size forgets the anchor, so the origin always fits.
  const Image again = FingerAt(250, 300);
  FindFingerWindow(ctx, again.data(), 640, 640, 400, 400, 0, &fx, &fy, nullptr);
  EXPECT_EQ(tracker.Place(ctx, again.data(), 640, 640, 400, 400, 140, &x, &y), 3);
  EXPECT_EQ(x, fx);
  EXPECT_EQ(y, fy);
  EXPECT_LE(x, 240);
  EXPECT_LE(y, 240);
}

// ---- Window snapshot ----------------------------------------------------------

TEST(WindowSnapshot, NeverMixesTwoWindows) {
  // The writer goes on until the reader has read enough: on a busy machine
  // either may wait long for a core.
  std::atomic<bool> stop{false}, started{false};
  std::thread writer([&] {
    while (!stop) {
      StoreCaptureWindow(192, 216, 256, 360);
      StoreCaptureWindow(120, 120, 400, 400);
      started = true;
    }
  });
  while (!started) std::this_thread::yield();
  int seen = 0;
  for (; seen < 40000 && !stop; ++seen) {
    const WindowSnapshot w = LoadCaptureWindow();
    const bool a = w.x == 192 && w.y == 216 && w.width == 256 && w.height == 360;
    const bool b = w.x == 120 && w.y == 120 && w.width == 400 && w.height == 400;
    if (!(a || b)) {
      stop = true;
      ADD_FAILURE() << "torn window " << w.x << "," << w.y << " " << w.width << "x" << w.height;
    }
  }
  stop = true;
  writer.join();
  EXPECT_EQ(seen, 40000);
  StoreCaptureWindow(0, 0, 640, 640);
}

}  // namespace
