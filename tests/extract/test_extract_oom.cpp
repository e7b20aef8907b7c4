// Extraction with each of its allocations failing in turn: every call returns
// either its normal result or its out-of-memory code, and the process goes on.
// Working buffers live per thread, so each point runs on a fresh thread, where
// the first call allocates them all.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "extract_driver.h"
#include "fail_alloc.h"
#include "fplib.h"
#include "fplib_test_util.h"
#include "ftemplate.h"
#include "golden_outputs.h"

namespace {

// The sweep of fail_alloc_sweep.h, but each point on a new thread that arms
// its own failure once it runs (a failure injected into a thread's start-up
// would test the runtime, not the call). Returns the number of points.
long SweepOnFreshThreads(const std::function<void()> &fn, long maxPoints = 5000) {
  for (long n = 1; n <= maxPoints; ++n) {
    bool fired = false;
    std::thread([&] {
      fail_alloc_arm(n, FAIL_ALLOC_THIS_THREAD);
      fn();
      fired = fail_alloc_fired() != 0;
      fail_alloc_disarm();
    }).join();
    if (!fired) return n;
  }
  return -1;
}

class ExtractOutOfMemory : public fptest::FpLibTest {
 protected:
  void SetUp() override {
    if (std::string(BELNOR_PRINTS_DIR).empty()) GTEST_SKIP() << "no shared prints";
    FpLibTest::SetUp();
  }
  void TearDown() override {
    if (!dir_.empty()) FpLibTest::TearDown();
  }
};

TEST_F(ExtractOutOfMemory, CaptureTemplateGivesMinusTwoOrTheTemplate) {
  for (int size : {400, 640}) {
    const std::vector<uint8_t> img = golden::PrintOnCanvas(0, size, size);
    ASSERT_FALSE(img.empty());
    uint8_t want[minutiae::kFTemplateMax] = {};
    const int wantQ = minutiae::extractFTemplate(img.data(), size, size, want);
    ASSERT_GT(wantQ, 0);
    int failed = 0, whole = 0;
    const long points = SweepOnFreshThreads([&] {
      uint8_t tpl[minutiae::kFTemplateMax] = {};
      const int q = minutiae::extractFTemplate(img.data(), size, size, tpl);
      if (q == minutiae::kTemplateNoMemory) {
        ++failed;
        return;
      }
      ++whole;
      EXPECT_EQ(q, wantQ);
      EXPECT_EQ(std::memcmp(tpl, want, sizeof want), 0);
    });
    EXPECT_GT(points, 10) << size;
    EXPECT_GT(failed, 0) << size;
    EXPECT_GT(whole, 0) << size;
  }
}

// Once a thread has extracted from the largest image, further extractions on
// it, of any size, allocate nothing.
TEST_F(ExtractOutOfMemory, LaterCallsOnAThreadDoNotAllocate) {
  std::thread([] {
    uint8_t tpl[minutiae::kFTemplateMax];
    const std::vector<uint8_t> big = golden::PrintOnCanvas(1, 640, 640);
    ASSERT_GT(minutiae::extractFTemplate(big.data(), 640, 640, tpl), 0);
    for (auto [w, h] : {std::pair{640, 640}, std::pair{256, 360}, std::pair{400, 400}}) {
      const std::vector<uint8_t> img = golden::PrintOnCanvas(2, w, h);
      fail_alloc_arm(1, FAIL_ALLOC_THIS_THREAD);
      const int q = minutiae::extractFTemplate(img.data(), w, h, tpl);
      const bool fired = fail_alloc_fired() != 0;
      fail_alloc_disarm();
      EXPECT_GT(q, 0) << w << "x" << h;
      EXPECT_FALSE(fired) << w << "x" << h;
    }
  }).join();
}

TEST_F(ExtractOutOfMemory, FeatureExtractAndQualityGiveMinusTwoOrTheirResult) {
  std::vector<uint8_t> img = golden::PrintOnCanvas(0, FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT);
  ASSERT_FALSE(img.empty());
  uint8_t want[FP_TEMPLATE_SIZE];
  ASSERT_EQ(FP_FeatureExtract(1, 1, img.data(), want), FP_OK);
  uint8_t wantQ1 = 0, wantQ2 = 0;
  ASSERT_EQ(FP_GetQualityScore(img.data(), &wantQ1), FP_OK);
  ASSERT_EQ(FP_GetQualityScore2(img.data(), &wantQ2), FP_OK);
  ASSERT_GT(wantQ1, 0);
  ASSERT_GT(wantQ2, 0);

  int failed = 0;
  long points = SweepOnFreshThreads([&] {
    uint8_t tpl[FP_TEMPLATE_SIZE];
    const int r = FP_FeatureExtract(1, 1, img.data(), tpl);
    if (r == FP_ERR_MEMORY) {
      ++failed;
      return;
    }
    EXPECT_EQ(r, FP_OK);
    EXPECT_EQ(std::memcmp(tpl, want, sizeof want), 0);
  });
  EXPECT_GT(points, 10);
  EXPECT_GT(failed, 0);

  using Quality = int (*)(unsigned char *, unsigned char *);
  for (auto [quality, expected] : {std::pair<Quality, uint8_t>{FP_GetQualityScore, wantQ1},
                                   std::pair<Quality, uint8_t>{FP_GetQualityScore2, wantQ2}}) {
    failed = 0;
    points = SweepOnFreshThreads([&, quality = quality, expected = expected] {
      uint8_t q = 0xA5;
      const int r = quality(img.data(), &q);
      if (r == FP_ERR_MEMORY) {
        ++failed;
        EXPECT_EQ(q, 0);
        return;
      }
      EXPECT_EQ(r, FP_OK);
      EXPECT_EQ(q, expected);
    });
    EXPECT_GT(points, 10);
    EXPECT_GT(failed, 0);
  }
}

}  // namespace
