// The reduced build's window against the calibration in use: an origin that
// takes the 256 x 360 window out of a smaller stored corrected image is
// refused, and the default origin stays inside it.
#include <gtest/gtest.h>

#include <vector>

#include "calib_record_writer.h"
#include "livescan_lite.h"
#include "result_codes.h"
#include "vscanner_fixture.h"

using namespace belnor;
using belnor_test::InitAwaitingFirstFrame;
using belnor_test::VScannerTest;

namespace {

struct Window {
  int x = -1, y = -1, width = -1, height = -1;
};

Window Current() {
  Window w;
  EXPECT_EQ(LIVESCAN_GetCaptWindow(0, &w.x, &w.y, &w.width, &w.height), LS_OK);
  return w;
}

class LiteWindow : public VScannerTest {
 protected:
  // A type-1 scanner, its flash holding a translation grid of the given
  // corrected size (none: the built-in 640 x 640).
  void Open(int gridWidth, int gridHeight) {
    Attach("8899:1001/fps=30");
    if (gridWidth) {
      auto writeFlash = VSCANNER_LOOKUP(vscanner_write_flash);
      ASSERT_NE(writeFlash, nullptr);
      const auto record =
          sim::EncodeCalibRecord(sim::TranslationGrid(gridWidth, gridHeight, 37, 21), 1424, 984);
      ASSERT_EQ(writeFlash(0, 0xCA080, record.data(), uint32_t(record.size())), 0);
    }
    ASSERT_EQ(InitAwaitingFirstFrame(), LS_OK);
  }
};

TEST_F(LiteWindow, BuiltInCalibrationTakesEveryOriginOfTheRange) {
  Open(0, 0);
  EXPECT_EQ(Current().x, 192);
  EXPECT_EQ(Current().y, 216);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 384, 280, 256, 360), LS_OK);
  EXPECT_EQ(Current().x, 384);
  EXPECT_EQ(Current().y, 280);
}

TEST_F(LiteWindow, SmallerStoredCalibrationBoundsTheOrigin) {
  Open(480, 400);
  // The default origin (192, 216) kept inside 480 x 400.
  Window w = Current();
  EXPECT_EQ(w.x, 192);
  EXPECT_EQ(w.y, 40);
  EXPECT_EQ(w.width, 256);
  EXPECT_EQ(w.height, 360);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 300, 0, 256, 360), LS_ERR_PARAM);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 224, 41, 256, 360), LS_ERR_PARAM);
  EXPECT_EQ(Current().x, 192);
  EXPECT_EQ(Current().y, 40);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 224, 40, 256, 360), LS_OK);
  EXPECT_EQ(Current().x, 224);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 256, 360), LS_OK);
  EXPECT_EQ(Current().y, 40);
  std::vector<uint8_t> frame(256 * 360);
  int r = LS_ERR_UNKNOWN;
  for (int i = 0; i < 15 && r == LS_ERR_UNKNOWN; ++i) r = LIVESCAN_GetFPRawData(0, frame.data());
  EXPECT_EQ(r, LS_OK);
}

}  // namespace
