// Out of memory in the exports that segment a frame: with each allocation of
// the call failing in turn, the call returns "not enough memory" (a score of
// 0 for the finger quality) or its full result, and the host goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "fail_alloc_sweep.h"
#include "mosaic.h"
#include "rolling_frames.h"

namespace {

using mosaic_test::Image;

class MosaicOutOfMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    MOSAIC_Close();
    ASSERT_EQ(MOSAIC_Init(), 1);
  }
  void TearDown() override { MOSAIC_Close(); }
};

TEST_F(MosaicOutOfMemory, DoMosaicReportsItAndKeepsTheMosaic) {
  const Image print = mosaic_test::MakePrint(640, 640);
  const std::vector<mosaic_test::Band> bands = mosaic_test::RollBands(80);
  Image first = mosaic_test::ContactFrame(print, 640, 640, bands[0]);
  Image second = mosaic_test::ContactFrame(print, 640, 640, bands[1]);
  // The reference: the same two frames with memory to spare.
  Image want(640 * 640), mosaic(640 * 640), before(640 * 640);
  ASSERT_EQ(MOSAIC_Start(want.data(), 640, 640), 1);
  ASSERT_EQ(MOSAIC_DoMosaic(first.data(), 640, 640), 1);
  ASSERT_EQ(MOSAIC_DoMosaic(second.data(), 640, 640), 1);

  // Only the second frame's allocations fail, one after the other.
  long n = 1;
  for (;; ++n) {
    ASSERT_EQ(MOSAIC_Start(mosaic.data(), 640, 640), 1);
    ASSERT_EQ(MOSAIC_DoMosaic(first.data(), 640, 640), 1);
    std::copy(mosaic.begin(), mosaic.end(), before.begin());
    fail_alloc_arm(n, FAIL_ALLOC_THIS_THREAD);
    const int r = MOSAIC_DoMosaic(second.data(), 640, 640);
    const bool fired = fail_alloc_fired() != 0;
    fail_alloc_disarm();
    if (r == 1) {
      EXPECT_TRUE(mosaic == want) << n;
    } else {
      EXPECT_EQ(r, -2) << n;
      EXPECT_TRUE(mosaic == before) << n;
    }
    if (!fired) break;
  }
  EXPECT_GT(n, 1);
}

TEST_F(MosaicOutOfMemory, FingerTestAndScore) {
  const Image print = mosaic_test::MakePrint(640, 640, true);
  const int score = MOSAIC_FingerQuality(const_cast<unsigned char *>(print.data()), 640, 640);
  ASSERT_GT(score, 0);
  long points = SweepAllocFailures([&] {
    const int r = MOSAIC_IsFinger(const_cast<unsigned char *>(print.data()), 640, 640);
    if (r != 1) {
      EXPECT_EQ(r, -2);
    }
  });
  EXPECT_GT(points, 1);
  points = SweepAllocFailures([&] {
    const int r = MOSAIC_FingerQuality(const_cast<unsigned char *>(print.data()), 640, 640);
    if (r != score) {
      EXPECT_EQ(r, 0);
    }
  });
  EXPECT_GT(points, 1);
}

}  // namespace
