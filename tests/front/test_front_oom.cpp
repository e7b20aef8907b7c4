// Out of memory at every allocation of a call: the exports return their
// failure code and the frame worker drops the frame; nothing thrown leaves
// the library and the host goes on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "calibration.h"
#include "device_state.h"
#include "fail_alloc_sweep.h"
#include "frame_pipeline.h"
#include "fresh_process.h"
#include "ftemplate.h"
#include "image_attr.h"
#include "livescan.h"
#include "match_sweep.h"
#include "result_codes.h"
#include "vscanner_fixture.h"

using namespace belnor;
using namespace belnor_test;

namespace {

// A sweep that ran out of points would hide a call that never completes.
void ExpectSweepCompletes(long points) {
  EXPECT_GT(points, 1) << "no allocation was reached";
  std::printf("%ld allocation points\n", points - 1);
}

TEST(OutOfMemory, PipelineDropsTheFrameItCannotAllocateFor) {
  // Type 1 following the finger in a 256 x 360 window: the corrected image
  // and the finger analysis are allocated on the frame.
  std::vector<uint8_t> sensor(size_t(1424) * 984, 200), out(size_t(1427) * 984 * 3);
  g_nDevType = 1;
  g_RemapWidth = g_RemapHeight = 640;
  StoreCaptureWindow(192, 216, 256, 360);
  ImgAttr attr{};
  attr.bAutoPos = 1;
  attr.bClearBk = 1;
  PublishAttrFlags(attr);
  g_bInitialized = 1;
  long points = 0;
  for (long n = 1;; ++n) {
    StartFramePipeline();  // fresh buffers: every allocation point is met
    int w = -1, h = -1;
    fail_alloc_arm(n, FAIL_ALLOC_THIS_THREAD);
    const int r = ProcessFrameCallback(sensor.data(), 1424, 984, out.data(), &w, &h);
    const bool fired = fail_alloc_fired() != 0;
    fail_alloc_disarm();
    if (fired) {
      ASSERT_EQ(w, 0) << "allocation " << n;  // dropped
      ASSERT_EQ(h, 0);
      ASSERT_EQ(r, 0);
      continue;
    }
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 360);
    EXPECT_EQ(r, 2);  // no finger on a bright frame
    points = n;
    break;
  }
  StopFramePipeline();
  g_bInitialized = 0;
  ExpectSweepCompletes(points);
}

TEST(OutOfMemory, SaveToFileReportsIt) {
  const std::string path = testing::TempDir() + "oom_save_" + std::to_string(getpid()) + ".bmp";
  std::vector<uint8_t> image(size_t(300) * 200, 90);
  const long points = SweepAllocFailures([&] {
    const int r = LIVESCAN_SaveToFile(image.data(), 300, 200, path.c_str(), 0);
    ASSERT_TRUE(r == LS_OK || r == LS_ERR_MEMORY || r == LS_ERR_FILE) << r;
  });
  ExpectSweepCompletes(points);
  std::remove(path.c_str());
}

class OutOfMemoryOnScanner : public VScannerTest {
 protected:
  void Open(const char *devices) {
    Attach(devices);
    ASSERT_EQ(InitAwaitingFirstFrame(), LS_OK);
  }
};

// A fetch's own failure (no frame in time) is a result too.
bool FetchResult(int r, std::initializer_list<int> successes) {
  if (r == LS_ERR_MEMORY || r == LS_ERR_UNKNOWN) return true;
  for (int s : successes)
    if (r == s) return true;
  return false;
}

TEST_F(OutOfMemoryOnScanner, FingerCropAndBmpFetch) {
  Open("8899:1001/fps=30");
  std::vector<uint8_t> bmp(1078 + 640 * 640);
  // 640 x 640: cut to 400 x 400 around the finger; then the whole window.
  for (const int size : {640, 256}) {
    SCOPED_TRACE(size);
    ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, size, size == 256 ? 360 : size), LS_OK);
    const long points = SweepAllocFailures([&] {
      const int r = LIVESCAN_GetFPBmpData(0, bmp.data());
      ASSERT_TRUE(FetchResult(r, {LS_OK, 2, 3})) << r;
    });
    ExpectSweepCompletes(points);
  }
  // The library goes on as before.
  int r = LS_ERR_UNKNOWN;
  for (int i = 0; i < 15 && r == LS_ERR_UNKNOWN; ++i) r = LIVESCAN_GetFPBmpData(0, bmp.data());
  EXPECT_GT(r, 0);
}

TEST_F(OutOfMemoryOnScanner, PreviewOfType5) {
  Open("8899:1003/fps=30");
  std::vector<uint8_t> preview(size_t(800) * 750);
  const long points = SweepAllocFailures([&] {
    const int r = LIVESCAN_GetPreviewData(0, preview.data());
    ASSERT_TRUE(FetchResult(r, {LS_OK})) << r;
  });
  ExpectSweepCompletes(points);
}

TEST_F(OutOfMemoryOnScanner, SettingsSave) {
  Open("8899:1001/fps=30");
  ImgAttr attr{};
  ASSERT_EQ(LIVESCAN_GetImgAttr(0, &attr, 1), LS_OK);
  attr.WB = 5000;
  attr.Bright = 77;
  const long points = SweepAllocFailures([&] {
    const int r = LIVESCAN_SetImgAttr(0, 1, attr);
    ASSERT_TRUE(r == LS_OK || r == LS_ERR_MEMORY) << r;
  });
  ExpectSweepCompletes(points);
  // The last, complete save is in the flash.
  ImgAttr stored{};
  ASSERT_EQ(LIVESCAN_GetImgAttr(0, &stored, 1), LS_OK);
  EXPECT_EQ(int(stored.Bright), 77);
}

// In a fresh process, so that the match's working memory is made under the
// sweep: each failed allocation gives LS_ERR_MEMORY with score 0, never a
// success that reads as a rejected match.
TEST_F(OutOfMemoryOnScanner, FeatureMatchChild) {
  if (!testproc::InFreshProcess()) GTEST_SKIP() << "runs as a child of FeatureMatchReportsItInAFreshProcess";
  Open("8899:1001/fps=30");
  minutiae::MinutiaeRecord spread{};
  for (int i = 0; i < 40; ++i)
    spread.minutiae[spread.count++] = {uint16_t(25 + i % 6 * 40 + i * 7 % 13), uint16_t(25 + i / 6 * 45 + i * 11 % 17),
                                       1, uint8_t(i * 53)};
  uint8_t t[minutiae::kFTemplateMax] = {};
  minutiae::packFTemplate(spread, 60, t);
  const testproc::SweptMatches swept =
      testproc::SweepMatch([&](float *s) { return LIVESCAN_FeatureMatchMem(t, t, s); });
  ExpectSweepCompletes(swept.points);
  float alone = -1;
  ASSERT_EQ(LIVESCAN_FeatureMatchMem(t, t, &alone), LS_OK);
  EXPECT_GT(alone, 0.0f);
  for (size_t k = 0; k < swept.results.size(); ++k) {
    const bool failed = k + 1 < swept.results.size();
    EXPECT_EQ(swept.results[k], failed ? LS_ERR_MEMORY : LS_OK) << k;
    EXPECT_EQ(swept.scores[k], failed ? 0.0f : alone) << k;
  }
}

TEST(OutOfMemory, FeatureMatchReportsItInAFreshProcess) {
  EXPECT_EQ(testproc::RunInFreshProcess("OutOfMemoryOnScanner.FeatureMatchChild"), 0);
}

}  // namespace
