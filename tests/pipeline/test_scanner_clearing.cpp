// Background clearing through the scanner: dust on the platen away from the
// finger goes, the finger stays as it was.
#include <cstdio>

#include "background_clear.h"
#include "scanner_stills.h"

using namespace pipeline_test;

namespace {

constexpr int kBlock = 16;

// Per view pixel: 2 deep inside the finger, 0 far from any finger, 1 between.
Picture FingerZones(const Picture &view) {
  const int bw = view.width / kBlock, bh = view.height / kBlock;
  std::vector<int> finger(size_t(bw) * bh);
  for (int by = 0; by < bh; ++by)
    for (int bx = 0; bx < bw; ++bx) {
      int sum = 0;
      for (int y = 0; y < kBlock; ++y)
        for (int x = 0; x < kBlock; ++x) sum += view.at(bx * kBlock + x, by * kBlock + y);
      finger[size_t(by) * bw + bx] = sum < 215 * kBlock * kBlock;
    }
  // Chebyshev distance in blocks to the nearest block of the other kind.
  auto nearest = [&](int bx, int by, int kind) {
    int best = 1 << 20;
    for (int y = 0; y < bh; ++y)
      for (int x = 0; x < bw; ++x)
        if (finger[size_t(y) * bw + x] == kind)
          best = std::min(best, std::max(std::abs(x - bx), std::abs(y - by)));
    return best;
  };
  Picture zones{view.width, view.height, std::vector<uint8_t>(view.pixels.size(), 1)};
  for (int by = 0; by < bh; ++by)
    for (int bx = 0; bx < bw; ++bx) {
      const bool isFinger = finger[size_t(by) * bw + bx];
      uint8_t zone = 1;
      if (isFinger && nearest(bx, by, 0) > 3) zone = 2;
      if (!isFinger && nearest(bx, by, 1) > 4) zone = 0;
      for (int y = 0; y < kBlock; ++y)
        for (int x = 0; x < kBlock; ++x) zones.at(bx * kBlock + x, by * kBlock + y) = zone;
    }
  return zones;
}

// Dark specks of dust in the far background.
void AddDust(Picture *view, const Picture &zones) {
  int n = 0;
  for (int y = 8; y + 8 < view->height; y += 48)
    for (int x = 8; x + 8 < view->width; x += 56)
      if (zones.at(x, y) == 0 && n++ % 2 == 0)
        for (int dy = -2; dy <= 2; ++dy)
          for (int dx = -2; dx <= 2; ++dx) view->at(x + dx, y + dy) = 90;
}

class Clearing : public ScannerRun, public testing::WithParamInterface<Model> {};

TEST_P(Clearing, FlattensTheBackgroundAndKeepsTheFinger) {
  const int type = GetParam().type;
  Picture view = SceneView(type, "flat@3", (sim::kHoldMs + sim::kLiftMs) / 2);
  // Ridges across the probe window in the middle of the image may count as
  // a strong edge, which clearing leaves alone (see CentredFingerIsLeftAlone):
  // the finger sits to one side here.
  view = Shifted(view, -view.width / 4 - 20, 0);
  const Picture zones = FingerZones(view);
  AddDust(&view, zones);
  Open(GetParam(), TranslationRecord(type), view);
  if (HasFatalFailure()) return;
  int x, y, width, height;
  ASSERT_EQ(LIVESCAN_GetMaxImageSize(0, &width, &height), LS_OK);
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 1, 1, width - 1, height - 1), LS_OK);
  ASSERT_EQ(LIVESCAN_GetCaptWindow(0, &x, &y, &width, &height), LS_OK);
  const Picture zone = ViewWindow(zones, type, x, y, width, height);

  const Picture off = FetchSettled();
  EXPECT_EQ(off.pixels, ViewWindow(view, type, x, y, width, height).pixels)
      << "without clearing the window is the plain scene";

  Switches clear;
  clear.clearBackground = true;
  SetSwitches(clear);
  const Picture on = FetchSettled();
  ASSERT_EQ(on.pixels.size(), off.pixels.size());
  int far = 0, core = 0, ridges = 0, ridgesChanged = 0, dustLeft = 0, lo = 255, hi = 0;
  double coreDifference = 0;
  for (size_t i = 0; i < on.pixels.size(); ++i) {
    if (zone.pixels[i] == 0) {
      ++far;
      lo = std::min<int>(lo, on.pixels[i]);
      hi = std::max<int>(hi, on.pixels[i]);
      dustLeft += off.pixels[i] == 90 && on.pixels[i] == 90;
    } else if (zone.pixels[i] == 2) {
      ++core;
      coreDifference += std::abs(on.pixels[i] - off.pixels[i]);
      if (off.pixels[i] < 128) {
        ++ridges;
        ridgesChanged += on.pixels[i] != off.pixels[i];
      }
    }
  }
  ASSERT_GT(far, 1000);
  ASSERT_GT(core, 1000);
  EXPECT_EQ(lo, hi) << "far background spans " << lo << ".." << hi;
  EXPECT_EQ(dustLeft, 0);
  std::printf("%s: far background %d..%d, %d of %d ridge pixels in the core changed, "
              "mean core difference %.3f\n", GetParam().id, lo, hi, ridgesChanged, ridges,
              coreDifference / core);
  // The mask is made at half resolution from edge energy; a few ridge
  // pixels next to cleared cells may take the seam smoothing.
  EXPECT_LE(ridgesChanged * 100, ridges) << "of " << ridges << " ridge pixels deep in the finger";
}

TEST_F(ScannerRun, CentredFingerIsLeftAlone) {
  // Ridges running level and straight across the probe window in the
  // middle, as on a finger pressed flat near its joint.
  Picture view = SceneView(1, "flat@3", (sim::kHoldMs + sim::kLiftMs) / 2);
  for (int y = 270; y < 370; ++y)
    for (int x = 220; x < 420; ++x) view.at(x, y) = y % 9 < 4 ? 60 : 230;
  Open(kType1, TranslationRecord(1), view);
  if (HasFatalFailure()) return;
  const Picture off = FetchSettled();
  ASSERT_EQ(belnor::HasEdgeProbe(off.pixels.data(), off.width, off.height), 1);
  Switches clear;
  clear.clearBackground = true;
  SetSwitches(clear);
  EXPECT_EQ(FetchSettled().pixels, off.pixels);
}

INSTANTIATE_TEST_SUITE_P(Types, Clearing, testing::Values(kType1, kType5),
                         [](const testing::TestParamInfo<Model> &i) { return ModelName(i.param); });

}  // namespace
