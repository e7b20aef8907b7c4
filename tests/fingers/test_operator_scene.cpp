// The operator scene: its timeline, and its pictures as the capture library
// corrects them, inside each capture mode's window on every device type.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <vector>

#include "operator_scene_source.h"
#include "scanner_optics.h"

using namespace belnor;
using namespace belnor::sim;

namespace {

TEST(OperatorTimeline, RestsRollsNailToNailLiftsAndAnswersTheLamps) {
  EXPECT_EQ(OperatorStateAt(0, 0).pose, OperatorPose::kResting);
  EXPECT_EQ(OperatorStateAt(kOperatorRestEndMs - 1, 0).pose, OperatorPose::kResting);
  EXPECT_EQ(OperatorStateAt(kOperatorRestEndMs, 0).pose, OperatorPose::kAway);
  EXPECT_GE(kOperatorRollEndMs - kOperatorRollStartMs, 1500);
  EXPECT_LE(kOperatorRollEndMs - kOperatorRollStartMs, 3000);
  // Every phase of the roll in turn, then lifted until the cycle ends.
  int last = -1;
  for (double t = kOperatorRollStartMs; t < kOperatorRollEndMs; t += 10) {
    const OperatorState s = OperatorStateAt(t, 0);
    ASSERT_EQ(s.pose, OperatorPose::kRolling) << t;
    ASSERT_TRUE(s.phase == last || s.phase == last + 1) << t;
    last = s.phase;
  }
  EXPECT_EQ(last, kRollPhases - 1);
  EXPECT_EQ(OperatorStateAt(kOperatorRollEndMs, 0).pose, OperatorPose::kAway);
  EXPECT_EQ(OperatorStateAt(kOperatorCycleMs - 1, 0).pose, OperatorPose::kAway);
  EXPECT_EQ(OperatorStateAt(kOperatorCycleMs + 1, 0).pose, OperatorPose::kResting);
  // A lit lamp brings its hand whatever the time.
  EXPECT_EQ(OperatorStateAt(kOperatorRollStartMs, kLampLeftFour).pose, OperatorPose::kLeftFour);
  EXPECT_EQ(OperatorStateAt(0, kLampThumbs).pose, OperatorPose::kThumbs);
  EXPECT_EQ(OperatorStateAt(kOperatorRollEndMs, kLampRightFour).pose, OperatorPose::kRightFour);
  // With none lit, the slap window on the screen (type 5's alone) brings the left four.
  EXPECT_EQ(OperatorStateAt(kOperatorRollStartMs, kSlapWindowShown).pose, OperatorPose::kLeftFour);
  EXPECT_EQ(OperatorStateAt(0, kSlapWindowShown | kLampThumbs).pose, OperatorPose::kThumbs);
  EXPECT_TRUE(SlapWindow(5, 1600, 1500) && !SlapWindow(5, 640, 640) && !SlapWindow(4, 2304, 2304));
  for (int i = 0; i < kOperatorStates; ++i) EXPECT_EQ(OperatorStateIndex(OperatorStateOfIndex(i)), i);
}

struct Window {
  int x, y, w, h;
};

// The capture window of each of scanbench's modes (256 x 360, 400 x 400,
// 640 x 640, then the three 1600 x 1500 hand modes) as the library places it
// on a type's corrected image, clipped to the image.
std::array<Window, 6> ModeWindows(int type, int width, int height) {
  const int sizes[6][2] = {{256, 360}, {400, 400}, {640, 640}, {1600, 1500}, {1600, 1500}, {1600, 1500}};
  std::array<Window, 6> out{};
  for (int m = 0; m < 6; ++m) {
    int w = sizes[m][0], h = sizes[m][1], x = 0, y = 0;
    if (type == 1) {
      if (w == 256) x = 192, y = 216;
      if (w == 400) x = 120, y = 120;
    } else if (type == 5) {
      x = std::max(0, (1600 - w) / 2);
      y = std::max(0, 1436 - h);
    } else {
      w = width, h = height;  // one window whatever is asked
    }
    out[size_t(m)] = {x, y, std::min(w, width - x), std::min(h, height - y)};
  }
  return out;
}

// The library's upright image of a frame: invert (types 2 and 5), flip
// (type 5), remap, and for type 2 the reflection into its window.
std::vector<uint8_t> LibraryView(const ScannerOptics &o, const std::vector<uint8_t> &frame, int vw, int vh) {
  std::vector<uint8_t> k(size_t(o.correctedWidth()) * o.correctedHeight());
  o.Correct(frame.data(), k.data());
  if (o.deviceType() != 2) return k;
  std::vector<uint8_t> view(k.size());
  for (int i = 0; i < vh; ++i)
    for (int j = 0; j < vw; ++j) view[size_t(i) * vw + j] = k[size_t(vw - 1 - j) * vh + (vh - 1 - i)];
  return view;
}

size_t DarkPixels(const std::vector<uint8_t> &v, int width, const Window &w) {
  size_t n = 0;
  for (int y = w.y; y < w.y + w.h; ++y)
    for (int x = w.x; x < w.x + w.w; ++x) n += v[size_t(y) * width + x] < 128;
  return n;
}

// Ridge pixels of most of one finger's contact (about 35,000 in all), so
// that windows much larger than a finger are judged fairly too.
constexpr size_t kFinger = 15000;

// The columns of the window holding ridges, as [first, last].
std::pair<int, int> DarkColumns(const std::vector<uint8_t> &v, int width, const Window &w) {
  int first = w.x + w.w, last = -1;
  for (int x = w.x; x < w.x + w.w; ++x) {
    int n = 0;
    for (int y = w.y; y < w.y + w.h; ++y) n += v[size_t(y) * width + x] < 128;
    if (n >= 8) first = std::min(first, x), last = std::max(last, x);
  }
  return {first, last};
}

class OperatorOnType : public testing::TestWithParam<int> {};

TEST_P(OperatorOnType, EachModeShowsAFingerInItsWindowAndARollCoversAWholePrint) {
  const int type = GetParam();
  OperatorSceneSource source(3, type, {}, 10, nullptr);
  const ScannerOptics optics(type, {});
  int vw, vh;
  SceneViewSize(type, &vw, &vh);
  const std::array<Window, 6> windows = ModeWindows(type, vw, vh);
  auto seen = [&](const OperatorState &s) {
    EXPECT_TRUE(source.WaitDrawn(s, std::chrono::minutes(2)));
    std::vector<uint8_t> frame(size_t(source.sensorWidth()) * size_t(source.sensorHeight()));
    EXPECT_TRUE(source.Compose(s, frame.data()));
    return LibraryView(optics, frame, vw, vh);
  };

  const std::vector<uint8_t> away = seen({OperatorPose::kAway, 0});
  for (const Window &w : windows) EXPECT_LT(DarkPixels(away, vw, w), 100u);
  // The resting finger lies inside each single-finger window.
  const std::vector<uint8_t> resting = seen({OperatorPose::kResting, 0});
  for (int m = 0; m < 3; ++m) EXPECT_GT(DarkPixels(resting, vw, windows[size_t(m)]), kFinger) << m;
  // Each lamp's hand in the hand modes' window, each hand its own picture;
  // type 2's platen holds one finger of it.
  const OperatorPose hands[] = {OperatorPose::kLeftFour, OperatorPose::kThumbs, OperatorPose::kRightFour};
  std::vector<std::vector<uint8_t>> handViews;
  for (int i = 0; i < 3; ++i) {
    handViews.push_back(seen({hands[i], 0}));
    EXPECT_GT(DarkPixels(handViews.back(), vw, windows[size_t(3 + i)]), (type == 2 ? 1 : 2) * kFinger) << i;
  }
  EXPECT_NE(handViews[0], handViews[1]);
  EXPECT_NE(handViews[0], handViews[2]);
  // Type 2's window is narrower than a rolled print.
  if (type == 2) return;

  // Rolled: a band at a time, moving left to right; together the phases
  // make a print much wider than the resting finger's.
  const Window &rolled = windows[2];
  std::vector<uint8_t> print(away.size(), 255);
  int lastCentre = -1;
  for (int k = 0; k < kRollPhases; ++k) {
    const std::vector<uint8_t> v = seen({OperatorPose::kRolling, k});
    const auto band = DarkColumns(v, vw, rolled);
    ASSERT_GE(band.second, band.first) << k;
    EXPECT_GT(band.first + band.second, lastCentre) << k;
    lastCentre = band.first + band.second;
    std::transform(print.begin(), print.end(), v.begin(), print.begin(),
                   [](uint8_t a, uint8_t b) { return std::min(a, b); });
  }
  const auto flat = DarkColumns(resting, vw, rolled), whole = DarkColumns(print, vw, rolled);
  const auto firstBand = DarkColumns(seen({OperatorPose::kRolling, 0}), vw, rolled);
  EXPECT_LT(firstBand.second - firstBand.first, (whole.second - whole.first) * 6 / 10);
  EXPECT_GT(whole.second - whole.first, (flat.second - flat.first) * 13 / 10);
  EXPECT_GT(DarkPixels(print, vw, rolled), DarkPixels(resting, vw, rolled) * 13 / 10);
}

INSTANTIATE_TEST_SUITE_P(Types, OperatorOnType, testing::Values(1, 2, 3, 4, 5));

TEST(OperatorSource, FramesFollowTheTimelineAndRepeatNoPictureTwice) {
  std::atomic<int> lamps{0};
  OperatorSceneSource source(1, 1, {}, 10, &lamps);
  const int w = source.sensorWidth(), h = source.sensorHeight();
  std::vector<uint8_t> light(size_t(w) * h), want(light.size());
  // Frame 0 is always written, the bare platen until the states are drawn.
  ASSERT_EQ(OperatorSceneSource::Render(&source, 0, w, h, light.data()), 1);
  ASSERT_TRUE(source.WaitDrawn({OperatorPose::kRolling, kRollPhases - 1}, std::chrono::minutes(2)));
  ASSERT_TRUE(source.WaitDrawn({OperatorPose::kResting, 0}, std::chrono::minutes(2)));
  EXPECT_EQ(OperatorSceneSource::Render(&source, 0, w, h, light.data()), 1);
  ASSERT_TRUE(source.Compose({OperatorPose::kResting, 0}, want.data()));
  EXPECT_EQ(light, want);
  // The same state again: the scanner may keep its frame.
  EXPECT_EQ(OperatorSceneSource::Render(&source, 1, w, h, light.data()), 0);
  const uint64_t rollFrame = uint64_t(kOperatorRollStartMs / 100) + 5;
  EXPECT_EQ(OperatorSceneSource::Render(&source, rollFrame, w, h, light.data()), 1);
  ASSERT_TRUE(source.Compose(OperatorStateAt(source.FrameTimeMs(rollFrame), 0), want.data()));
  EXPECT_EQ(light, want);
  // A lamp lit: its hand once drawn; until then the last picture stays.
  lamps = kLampThumbs;
  const int first = OperatorSceneSource::Render(&source, rollFrame + 1, w, h, light.data());
  ASSERT_TRUE(source.WaitDrawn({OperatorPose::kThumbs, 0}, std::chrono::minutes(2)));
  if (first == 0) {
    EXPECT_EQ(OperatorSceneSource::Render(&source, rollFrame + 2, w, h, light.data()), 1);
  }
  ASSERT_TRUE(source.Compose({OperatorPose::kThumbs, 0}, want.data()));
  EXPECT_EQ(light, want);
  // Another size than the sensor's is not drawn.
  EXPECT_EQ(OperatorSceneSource::Render(&source, 0, w - 1, h, light.data()), 0);
}

}  // namespace
