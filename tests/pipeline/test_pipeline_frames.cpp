// Whole frames through the pipeline without a scanner: each device type's
// geometry and placement, windows the corrected image cannot hold, background
// clearing in the delivered orientation, finger tracking, and the callback's
// pass-through.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "device_state.h"
#include "frame_pipeline.h"
#include "test_images.h"
#include "window_copy.h"

namespace {

using namespace belnor;

// Maps that make the corrected image an exact crop of the sensor at (ox, oy).
struct TranslationMaps {
  TranslationMaps(int w, int h, int ox, int oy) : width(w), height(h), x(size_t(w) * h), y(x.size()) {
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) {
        x[size_t(r) * w + c] = (c + ox) * 256;
        y[size_t(r) * w + c] = (r + oy) * 256;
      }
  }
  int width, height;
  std::vector<int32_t> x, y;
};

struct Frame {
  int width, height;
  std::vector<uint8_t> pixels;
  uint8_t at(int c, int r) const { return pixels[size_t(r) * width + c]; }
};

Frame RandomFrame(int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  Frame f{w, h, std::vector<uint8_t>(size_t(w) * h)};
  for (auto &b : f.pixels) b = uint8_t(rng());
  return f;
}

FrameSettings Settings(int type, WindowSnapshot window, const TranslationMaps *maps) {
  FrameSettings s{};
  s.devType = type;
  s.window = window;
  s.remapWidth = maps ? maps->width : 640;
  s.remapHeight = maps ? maps->height : 640;
  s.mapX = maps ? maps->x.data() : nullptr;
  s.mapY = maps ? maps->y.data() : nullptr;
  return s;
}

struct Output {
  int result, width, height;
  std::vector<uint8_t> pixels;
  uint8_t at(int c, int r) const { return pixels[size_t(r) * width + c]; }
};

Output Process(FramePipeline &pipeline, const FrameSettings &s, const Frame &frame) {
  // As large as the worker's buffer is at least: a window never exceeds it.
  Output o{0, -1, -1, std::vector<uint8_t>(size_t(s.window.width) * s.window.height, 0x5A)};
  o.result = pipeline.Process(s, frame.pixels.data(), frame.width, frame.height, o.pixels.data(),
                              &o.width, &o.height);
  return o;
}

TEST(PipelineGeometry, EachTypeCutsItsWindowFromTheCorrectedImage) {
  FramePipeline pipeline;
  const Frame sensor = RandomFrame(1424, 984, 1);
  const TranslationMaps maps(640, 640, 392, 172);
  // Types 1, 3, 4 and 5 copy at the window origin; 1 and 5 report 1.
  for (int type : {1, 4, 5}) {
    SCOPED_TRACE(type);
    const Output o = Process(pipeline, Settings(type, {120, 100, 400, 400}, &maps), sensor);
    EXPECT_EQ(o.result, type == 4 ? 0 : 1);
    ASSERT_EQ(o.width, 400);
    ASSERT_EQ(o.height, 400);
    for (int r = 0; r < 400; ++r)
      for (int c = 0; c < 400; ++c) ASSERT_EQ(o.at(c, r), sensor.at(392 + 120 + c, 172 + 100 + r));
  }
  // Type 3 has no maps: the centre of the sensor frame.
  const Frame type3 = RandomFrame(1280, 720, 2);
  const Output o = Process(pipeline, Settings(3, {0, 0, 640, 600}, nullptr), type3);
  EXPECT_EQ(o.result, 0);
  for (int r = 0; r < 600; ++r)
    for (int c = 0; c < 640; ++c) ASSERT_EQ(o.at(c, r), type3.at(320 + c, 40 + r));
  // An unknown type writes nothing but still names the window.
  const Output none = Process(pipeline, Settings(9, {0, 0, 300, 300}, &maps), sensor);
  EXPECT_EQ(none.result, 0);
  EXPECT_EQ(none.width, 300);
  EXPECT_EQ(none.pixels, std::vector<uint8_t>(300 * 300, 0x5A));
}

TEST(PipelineGeometry, TypeTwoReflectsAndCentresWhateverTheOrigin) {
  FramePipeline pipeline;
  const Frame sensor = RandomFrame(1280, 720, 3);
  const TranslationMaps maps(360, 258, 460, 231);
  const auto K = [&](int c, int r) { return sensor.at(460 + c, 231 + r); };
  for (const WindowSnapshot w : {WindowSnapshot{0, 0, 256, 360}, WindowSnapshot{40, 9, 256, 360}}) {
    const Output o = Process(pipeline, Settings(2, w, &maps), sensor);
    EXPECT_EQ(o.result, 0);
    // Turned image T: 258 wide, 360 high, T(col, row) = K(359 - row, 257 - col);
    // the window starts at column 1, row 0.
    for (int r = 0; r < 360; ++r)
      for (int c = 0; c < 256; ++c) ASSERT_EQ(o.at(c, r), K(359 - r, 257 - (c + 1)));
  }
  // K's top-left pixel ends at the bottom-right of the turned image.
  const Output big = Process(pipeline, Settings(2, {0, 0, 258, 360}, &maps), sensor);
  EXPECT_EQ(big.at(257, 359), K(0, 0));
}

TEST(PipelineGeometry, WindowsBeyondTheCorrectedImageStayInsideIt) {
  // A stored calibration can give a corrected image smaller than the
  // window, or leave the origin past its edge.
  FramePipeline pipeline;
  const Frame sensor = RandomFrame(1424, 984, 4);
  const TranslationMaps small(320, 240, 10, 20);
  for (const WindowSnapshot w : {WindowSnapshot{0, 0, 640, 640}, WindowSnapshot{300, 200, 256, 360},
                                 WindowSnapshot{4000, 3000, 400, 280}}) {
    for (int type : {1, 2, 5}) {
      SCOPED_TRACE(testing::Message() << "type " << type << " window " << w.width << "x" << w.height);
      const Output o = Process(pipeline, Settings(type, w, &small), sensor);
      ASSERT_EQ(o.width, w.width);
      if (type == 2) continue;  // turned: checked above
      // Limited origin, the covered part from K, the rest white.
      const int x0 = std::max(0, std::min(w.x, 320 - w.width));
      const int y0 = std::max(0, std::min(w.y, 240 - w.height));
      for (int r = 0; r < w.height; ++r)
        for (int c = 0; c < w.width; ++c) {
          const bool inside = x0 + c < 320 && y0 + r < 240;
          ASSERT_EQ(o.at(c, r), inside ? sensor.at(10 + x0 + c, 20 + y0 + r) : 255) << c << "," << r;
        }
    }
  }
}

TEST(PipelineClearing, TypeTwoBackgroundIsClearedInItsDeliveredOrientation) {
  // The finger drawn upright in the delivered orientation, then turned back
  // into the corrected image the sensor shows.
  testimg::FingerShape shape;
  shape.cx = 129;
  shape.cy = 190;
  shape.ax = 80;
  shape.ay = 120;
  shape.background = 200;
  testimg::Image upright = testimg::Finger(258, 360, shape);
  // Specks in the background far from the finger.
  for (int i = 0; i < 6; ++i) upright.at(10 + i * 40, 8) = upright.at(12 + i * 40, 350) = 60;
  std::vector<uint8_t> k(upright.pixels.size());
  AntiTranspose(k.data(), upright.data(), 258, 360);  // its own inverse
  Frame sensor{1280, 720, std::vector<uint8_t>(1280 * 720, 200)};
  for (int r = 0; r < 258; ++r) std::memcpy(&sensor.pixels[size_t(100 + r) * 1280 + 50], &k[size_t(r) * 360], 360);
  const TranslationMaps maps(360, 258, 50, 100);

  FramePipeline pipeline;
  FrameSettings s = Settings(2, {0, 0, 256, 360}, &maps);
  const Output plain = Process(pipeline, s, sensor);
  for (int r = 0; r < 360; ++r)
    for (int c = 0; c < 256; ++c) ASSERT_EQ(plain.at(c, r), upright.at(c + 1, r));
  s.clearBackground = true;
  const Output cleared = Process(pipeline, s, sensor);
  // The specks are gone, the corners are one flat level, and the finger's
  // core is untouched: neither left alone nor wiped.
  const uint8_t flat = cleared.at(2, 2);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(cleared.at(9 + i * 40, 8), flat);
    EXPECT_EQ(cleared.at(11 + i * 40, 350), flat);
  }
  EXPECT_EQ(cleared.at(253, 2), flat);
  EXPECT_EQ(cleared.at(2, 357), flat);
  int same = 0, core = 0;
  for (int r = 150; r < 230; ++r)
    for (int c = 90; c < 170; ++c, ++core) same += cleared.at(c, r) == plain.at(c, r);
  EXPECT_GT(same, core * 9 / 10);
}

TEST(PipelineTracking, TypeOneFollowsTheFingerWhenAsked) {
  FramePipeline pipeline;
  const TranslationMaps maps(640, 640, 392, 172);
  const auto sensorWith = [&](const testimg::Image &k) {
    Frame f{1424, 984, std::vector<uint8_t>(1424 * 984, 236)};
    for (int r = 0; r < 640; ++r) std::memcpy(&f.pixels[size_t(172 + r) * 1424 + 392], &k.pixels[size_t(r) * 640], 640);
    return f;
  };
  testimg::FingerShape shape;
  shape.cx = 470;
  shape.cy = 300;
  shape.ax = 100;
  shape.ay = 130;
  const Frame finger = sensorWith(testimg::Finger(640, 640, shape));
  const Frame empty = sensorWith(testimg::Flat(640, 640, 236, 2, 7));

  FrameSettings s = Settings(1, {192, 216, 256, 360}, &maps);
  EXPECT_EQ(Process(pipeline, s, finger).result, 1);  // not asked to follow
  s.autoPosition = true;
  const Output found = Process(pipeline, s, finger);
  EXPECT_EQ(found.result, 3);
  // The finger's centre lies near the delivered window's centre column.
  double sum = 0, n = 0;
  for (int r = 0; r < 360; ++r)
    for (int c = 0; c < 256; ++c)
      if (found.at(c, r) < 120) sum += c, ++n;
  ASSERT_GT(n, 1000);
  EXPECT_NEAR(sum / n, 128, 20);
  const Output lifted = Process(pipeline, s, empty);
  EXPECT_EQ(lifted.result, 2);
  // 640 x 640 is never followed.
  s.window = {0, 0, 640, 640};
  EXPECT_EQ(Process(pipeline, s, finger).result, 1);
}

TEST(PipelineCallback, ClosedWritesNothingAndSensorSizedWindowsPassThrough) {
  const Frame sensor = RandomFrame(1424, 984, 6);
  std::vector<uint8_t> out(sensor.pixels.size(), 0x11);
  int w = -1, h = -1;
  ASSERT_EQ(g_bInitialized.load(), 0);
  EXPECT_EQ(ProcessFrameCallback(sensor.pixels.data(), 1424, 984, out.data(), &w, &h), 0);
  EXPECT_EQ(w, -1);
  EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 0x11));

  g_bInitialized = 1;
  StoreCaptureWindow(0, 0, 1424, 984);
  EXPECT_EQ(ProcessFrameCallback(sensor.pixels.data(), 1424, 984, out.data(), &w, &h), 1);
  EXPECT_EQ(w, 1424);
  EXPECT_EQ(h, 984);
  EXPECT_EQ(out, sensor.pixels);
  // A smaller window without a running pipeline delivers nothing.
  StoreCaptureWindow(0, 0, 640, 640);
  EXPECT_EQ(ProcessFrameCallback(sensor.pixels.data(), 1424, 984, out.data(), &w, &h), 0);
  g_bInitialized = 0;
}

}  // namespace
