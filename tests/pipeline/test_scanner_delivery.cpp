// The window image each type delivers for a finger on the platen: its
// orientation, polarity and placement, through the scanner's own optics, and
// every class of window the setter accepts.
#include <cstdio>

#include "scanner_stills.h"

using namespace pipeline_test;

namespace {

struct Window {
  int x, y, width, height;
};

// A window away from the corrected image's corners, so that a wrong origin
// or orientation shows.
Window InnerWindow(int type) {
  switch (type) {
    case 1: return {120, 80, 400, 480};
    case 5: return {160, 300, 1200, 1000};
    default: return {0, 0, 256, 360};
  }
}

class Delivery : public ScannerRun, public testing::WithParamInterface<Model> {
 protected:
  // Opens with the record, sets the window and returns the view of the
  // finger the scanner shows.
  Picture OpenWithFinger(const std::vector<uint8_t> &record, Window w) {
    const Picture view = HeldFinger(GetParam().type);
    Open(GetParam(), record, view);
    EXPECT_EQ(LIVESCAN_SetCaptWindow(0, w.x, w.y, w.width, w.height), LS_OK);
    return view;
  }
};

TEST_P(Delivery, TranslationCalibrationGivesTheSceneWindowExactly) {
  const int type = GetParam().type;
  const Window w = InnerWindow(type);
  const Picture view = OpenWithFinger(TranslationRecord(type), w);
  if (HasFatalFailure()) return;
  const Picture want = ViewWindow(view, type, w.x, w.y, w.width, w.height);
  const Picture got = FetchSettled();
  ASSERT_EQ(got.width, w.width);
  ASSERT_EQ(got.height, w.height);
  const belnor_test::Difference d = belnor_test::Compare(got.pixels, want.pixels);
  EXPECT_EQ(d.worst, 0) << "mean difference " << d.mean;
}

TEST_P(Delivery, BuiltInOpticsGiveTheSceneWindow) {
  const int type = GetParam().type;
  const Window w = InnerWindow(type);
  const Picture view = OpenWithFinger({}, w);
  if (HasFatalFailure()) return;
  const Picture want = ViewWindow(view, type, w.x, w.y, w.width, w.height);
  const Picture got = FetchSettled();
  ASSERT_EQ(got.pixels.size(), want.pixels.size());
  const double psnr = Psnr(got.pixels, want.pixels);
  std::printf("%s: window through the built-in optics, PSNR %.2f dB\n", GetParam().id, psnr);
  EXPECT_GE(psnr, 30.0);
}

// Every accepted window of a type, fetched: its size and origin as the type
// places it, and the scene at that place. The sensor size passes the frame
// through as the camera sent it (inverted for types 2 and 5, and upside down
// for type 5).
struct WindowCase {
  Window asked;
  Window placed;  // origin and size the library reports
};

std::vector<WindowCase> AcceptedWindows(int type) {
  switch (type) {
    case 1:
      return {{{0, 0, 240, 280}, {0, 0, 240, 280}},
              {{400, 360, 240, 280}, {400, 360, 240, 280}},   // right and bottom edge
              {{1, 1, 256, 360}, {1, 1, 256, 360}},
              {{0, 0, 256, 360}, {192, 216, 256, 360}},       // default origin
              {{0, 0, 400, 400}, {120, 120, 400, 400}},       // default origin
              {{240, 240, 400, 400}, {240, 240, 400, 400}},
              {{0, 360, 640, 280}, {0, 360, 640, 280}},
              {{400, 0, 240, 640}, {400, 0, 240, 640}},
              {{0, 0, 640, 640}, {0, 0, 640, 640}},
              {{0, 0, 1424, 984}, {0, 0, 1424, 984}}};
    case 2:
      // A request below 256 x 360 is refused: the host's buffer would not
      // hold the one window.
      return {{{0, 0, 256, 360}, {0, 0, 256, 360}},
              {{100, 50, 400, 400}, {0, 0, 256, 360}},
              {{0, 0, 1280, 720}, {0, 0, 1280, 720}}};
    default:
      return {{{0, 0, 240, 280}, {680, 1156, 240, 280}},   // default origin
              {{1360, 1220, 240, 280}, {1360, 1220, 240, 280}},
              {{0, 1, 1600, 280}, {0, 1, 1600, 280}},
              {{1, 0, 240, 1500}, {1, 0, 240, 1500}},
              {{0, 0, 1600, 1500}, {0, 0, 1600, 1500}},
              {{0, 0, 800, 750}, {400, 686, 800, 750}},    // default origin
              {{0, 0, 2592, 1944}, {0, 0, 2592, 1944}}};
  }
}

TEST_P(Delivery, EveryAcceptedWindowIsDeliveredAtItsPlace) {
  const int type = GetParam().type;
  const std::vector<uint8_t> record = TranslationRecord(type);
  const Picture view = HeldFinger(type);
  Open(GetParam(), record, view);
  if (HasFatalFailure()) return;
  const std::vector<uint8_t> sensor = SensorPicture(type, record, view);
  for (const WindowCase &c : AcceptedWindows(type)) {
    const Window &a = c.asked, &p = c.placed;
    SCOPED_TRACE(testing::Message() << a.x << "," << a.y << " " << a.width << "x" << a.height);
    ASSERT_EQ(LIVESCAN_SetCaptWindow(0, a.x, a.y, a.width, a.height), LS_OK);
    int x, y, width, height;
    ASSERT_EQ(LIVESCAN_GetCaptWindow(0, &x, &y, &width, &height), LS_OK);
    EXPECT_EQ(x, p.x);
    EXPECT_EQ(y, p.y);
    ASSERT_EQ(width, p.width);
    ASSERT_EQ(height, p.height);
    const Picture got = FetchSettled();
    ASSERT_EQ(got.pixels.size(), size_t(width) * height);
    if (width == g_SensorWidth) {
      Picture want{width, height, sensor};
      for (int r = 0; r < height; ++r)
        for (int k = 0; k < width; ++k) {
          const uint8_t v = sensor[size_t(type == 5 ? height - 1 - r : r) * width + k];
          want.at(k, r) = type == 2 || type == 5 ? uint8_t(255 - v) : v;
        }
      EXPECT_EQ(belnor_test::Compare(got.pixels, want.pixels).worst, 0);
    } else {
      const Picture want = ViewWindow(view, type, x, y, width, height);
      EXPECT_EQ(belnor_test::Compare(got.pixels, want.pixels).worst, 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Types, Delivery, testing::ValuesIn(kModels),
                         [](const testing::TestParamInfo<Model> &i) { return ModelName(i.param); });

}  // namespace
