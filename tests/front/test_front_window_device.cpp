// The window setter on an open scanner: arguments that would wrap, type 2's
// one window against what the host asked for, and the corrected image of a
// stored calibration as the limit.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "calib_record_writer.h"
#include "livescan.h"
#include "result_codes.h"
#include "vscanner_fixture.h"

using namespace belnor;
using namespace belnor_test;

namespace {

struct Window {
  int x = -1, y = -1, width = -1, height = -1;
  bool operator==(const Window &o) const {
    return x == o.x && y == o.y && width == o.width && height == o.height;
  }
};

Window Current() {
  Window w;
  EXPECT_EQ(LIVESCAN_GetCaptWindow(0, &w.x, &w.y, &w.width, &w.height), LS_OK);
  return w;
}

void Open() { ASSERT_EQ(InitAwaitingFirstFrame(), LS_OK); }

// One frame, waiting generously for it.
int Fetch(uint8_t *buffer) {
  int r = LS_ERR_UNKNOWN;
  for (int i = 0; i < 15 && r == LS_ERR_UNKNOWN; ++i) r = LIVESCAN_GetFPRawData(0, buffer);
  return r;
}

// A fetch into a buffer of exactly the reported window, with guard bytes
// behind it that must stay untouched.
void FetchIntoWindowSizedBuffer() {
  const Window w = Current();
  const size_t n = size_t(w.width) * size_t(w.height);
  std::vector<uint8_t> buffer(n + 4096, 0xA5);
  ASSERT_EQ(Fetch(buffer.data()), LS_OK);
  for (size_t i = n; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xA5) << "byte " << i - n;
}

class WindowLimits : public VScannerTest, public testing::WithParamInterface<const char *> {};

TEST_P(WindowLimits, OriginsNearIntMaxAreRefused) {
  Attach(GetParam());
  Open();
  const Window before = Current();
  const int big[] = {INT_MAX - 100, INT_MAX - 239, INT_MAX};
  for (int v : big) {
    SCOPED_TRACE(v);
    EXPECT_EQ(LIVESCAN_SetCaptWindow(0, v, 0, 240, 280), LS_ERR_PARAM);
    EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, v, 240, 280), LS_ERR_PARAM);
    EXPECT_EQ(LIVESCAN_SetCaptWindow(0, v, v, 4096, 3072), LS_ERR_PARAM);
  }
  EXPECT_TRUE(Current() == before);
}

INSTANTIATE_TEST_SUITE_P(Types, WindowLimits, testing::Values("8899:1001", "8899:1002", "8899:1003"),
                         [](const testing::TestParamInfo<const char *> &i) {
                           return "Type" + std::to_string(i.index == 0 ? 1 : i.index == 1 ? 2 : 5);
                         });

class WindowOnDevice : public VScannerTest {};

TEST_F(WindowOnDevice, Type2RefusesWhatItCannotDeliverAtTheAskedSize) {
  Attach("8899:1002/fps=30");
  Open();
  const Window fixed = Current();
  ASSERT_EQ(fixed.width, 256);
  ASSERT_EQ(fixed.height, 360);
  // Narrower than 256 or lower than 360: the host's buffer would be too small.
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 240, 280), LS_ERR_PARAM);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 255, 400), LS_ERR_PARAM);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 400, 359), LS_ERR_PARAM);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 1280, 300), LS_ERR_PARAM);
  EXPECT_TRUE(Current() == fixed);

  // The full sensor frame, then anything at least 256 x 360 gives the one window.
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 1280, 720), LS_OK);
  EXPECT_EQ(Current().width, 1280);
  EXPECT_EQ(Current().height, 720);
  FetchIntoWindowSizedBuffer();
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 240, 280), LS_ERR_PARAM);
  EXPECT_EQ(Current().width, 1280);  // a refusal leaves the sensor window too
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 7, 9, 400, 400), LS_OK);
  EXPECT_TRUE(Current() == fixed);
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 256, 360), LS_OK);
  EXPECT_TRUE(Current() == fixed);
  FetchIntoWindowSizedBuffer();
}

// Attaches a type-1 scanner whose flash holds a translation grid of the given
// corrected size, and initialises with the camera as at power-up.
class StoredCalibrationWindow : public VScannerTest {
 protected:
  void OpenWithGrid(int width, int height) {
    Attach("8899:1001/fps=30");
    auto writeFlash = VSCANNER_LOOKUP(vscanner_write_flash);
    ASSERT_NE(writeFlash, nullptr);
    const auto record = sim::EncodeCalibRecord(sim::TranslationGrid(width, height, 37, 21), 1424, 984);
    ASSERT_EQ(writeFlash(0, 0xCA080, record.data(), uint32_t(record.size())), 0);
    const PowerUpControls controls(sim, 0);
    Open();
    controls.Restore();
  }
};

TEST_F(StoredCalibrationWindow, LargerCorrectedImageTakesWindowsBeyondTheBuiltInOne) {
  OpenWithGrid(800, 700);
  // Beyond the built-in 640 x 640, inside the stored 800 x 700.
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 800, 700), LS_OK);
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 100, 50, 700, 650), LS_OK);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 101, 50, 700, 650), LS_ERR_PARAM);
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 800, 700), LS_OK);
  // The frame is the stored grid's crop of the sensor, to its last pixel:
  // frames made before the controls were put back may still come first.
  const TypeGeometry g{1, 800, 700, 1424, 984};
  const std::vector<uint8_t> want = ExpectedWindow(g);
  std::vector<uint8_t> frame(want.size());
  Difference d{256, 256.0};
  for (int i = 0; i < 20 && d.worst > 2; ++i) {
    ASSERT_EQ(Fetch(frame.data()), LS_OK);
    d = Compare(frame, want);
  }
  EXPECT_LE(d.worst, 2) << "mean " << d.mean;
}

TEST_F(StoredCalibrationWindow, SmallerCorrectedImageRefusesWindowsThatLeaveIt) {
  OpenWithGrid(480, 400);
  const Window before = Current();
  // Inside the built-in 640 x 640 but not inside the stored 480 x 400.
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 640, 640), LS_ERR_PARAM);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 400, 400), LS_ERR_PARAM);  // default origin 120, 120
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 300, 0, 256, 360), LS_ERR_PARAM);
  EXPECT_TRUE(Current() == before);
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 224, 40, 256, 360), LS_OK);
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 480, 400), LS_OK);
  // The sensor frame stays a pass-through window.
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 1424, 984), LS_OK);
}

}  // namespace
