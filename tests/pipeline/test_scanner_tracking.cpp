// Type 1 following the finger through the scanner: the window goes where the
// finger is placed, stays while it is held, and falls back while the platen
// is bare.
#include "capture_device.h"
#include "scanner_stills.h"

using namespace pipeline_test;

namespace {

struct Size {
  int width, height;
};

void PrintTo(const Size &s, std::ostream *os) { *os << s.width << "x" << s.height; }

class Tracking : public ScannerRun, public testing::WithParamInterface<Size> {
 protected:
  int LastResult() {
    DeviceAccess d;
    return d ? d->LastProcessResult() : -1000;
  }

  // Dark-pixel centroid relative to the window's centre.
  static void DarkOffset(const Picture &p, double *dx, double *dy) {
    double sx = 0, sy = 0, n = 0;
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x)
        if (p.at(x, y) < 150) sx += x, sy += y, n += 1;
    *dx = n ? sx / n - p.width / 2.0 : 1e9;
    *dy = n ? sy / n - p.height / 2.0 : 1e9;
  }
};

TEST_P(Tracking, WindowFollowsThePlacedFingerAndHoldsStill) {
  const Size s = GetParam();
  const Picture finger = HeldFinger(1), bare = SceneView(1, "empty", 0);
  const Picture atA = Shifted(finger, -110, -90), heldNearA = Shifted(finger, -90, -75),
                atB = Shifted(finger, 110, 90);
  Open(kType1, TranslationRecord(1), bare);
  if (HasFatalFailure()) return;
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 10, 20, s.width, s.height), LS_OK);
  Switches follow;
  follow.autoPosition = true;
  SetSwitches(follow);

  int ax, ay, x, y;
  double dx, dy;
  Show(atA);
  Picture got = FetchSettled();
  EXPECT_EQ(LastResult(), 3);
  ASSERT_TRUE(Locate(got, atA, &ax, &ay));
  DarkOffset(got, &dx, &dy);
  EXPECT_LT(std::abs(dx), 40) << "finger at A sits off the window's centre";
  EXPECT_LT(std::abs(dy), 40);

  // Moved a little without lifting: the window keeps its place.
  Show(heldNearA);
  got = FetchSettled();
  EXPECT_EQ(LastResult(), 3);
  ASSERT_TRUE(Locate(got, heldNearA, &x, &y));
  EXPECT_EQ(x, ax);
  EXPECT_EQ(y, ay);

  // Lifted: the centred column at the window's own row, frame after frame.
  Show(bare);
  for (int i = 0; i < 3; ++i) {
    got = FetchSettled();
    EXPECT_EQ(LastResult(), 2);
    ASSERT_TRUE(Locate(got, bare, &x, &y));
    EXPECT_EQ(x, (640 - s.width) / 2);
    EXPECT_EQ(y, 20);
  }

  // Placed again elsewhere: the window goes to the new place.
  Show(atB);
  got = FetchSettled();
  EXPECT_EQ(LastResult(), 3);
  ASSERT_TRUE(Locate(got, atB, &x, &y));
  EXPECT_NE(x, ax);
  DarkOffset(got, &dx, &dy);
  EXPECT_LT(std::abs(dx), 40) << "finger at B sits off the window's centre";
  EXPECT_LT(std::abs(dy), 40);
}

INSTANTIATE_TEST_SUITE_P(Windows, Tracking, testing::Values(Size{400, 400}, Size{256, 360}),
                         [](const testing::TestParamInfo<Size> &i) {
                           return std::to_string(i.param.width) + "x" + std::to_string(i.param.height);
                         });

}  // namespace
