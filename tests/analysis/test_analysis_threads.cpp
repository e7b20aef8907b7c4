// Two threads analysing and clearing images of different sizes at once, each
// with its own context: no shared scratch, and every result equals the one
// computed alone.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "background_clear.h"
#include "image_analysis.h"
#include "test_images.h"

namespace {

struct Expected {
  int found, score;
  std::vector<uint8_t> cleared;
};

testimg::Image Make(int W, int H) {
  testimg::FingerShape s;
  s.cx = W / 2.0, s.cy = H / 2.0, s.ax = W * 0.3, s.ay = H * 0.35;
  return testimg::Finger(W, H, s);
}

Expected Process(belnor::AnalysisContext &actx, belnor::ClearContext &cctx, const testimg::Image &img) {
  Expected e;
  belnor::Rectangle r{};
  e.found = belnor::FindFingerRegion(actx, img.data(), img.width, img.height, &r);
  e.score = belnor::FingerScore(actx, img.data(), img.width, img.height, nullptr);
  e.cleared = img.pixels;
  belnor::ClearBackground(cctx, e.cleared.data(), img.width, img.height, 238);
  return e;
}

TEST(AnalysisThreads, TwoSizesAlternatedOnTwoThreads) {
  const testimg::Image big = Make(640, 640), small = Make(256, 360);
  belnor::AnalysisContext a;
  belnor::ClearContext c;
  const Expected wantBig = Process(a, c, big), wantSmall = Process(a, c, small);
  ASSERT_GT(wantBig.found, 0);
  ASSERT_GT(wantSmall.found, 0);
  std::vector<int> failures(2, 0);
  auto worker = [&](int id) {
    belnor::AnalysisContext actx;
    belnor::ClearContext cctx;
    for (int round = 0; round < 12; ++round) {
      const bool useBig = (round + id) % 2 == 0;
      const Expected got = Process(actx, cctx, useBig ? big : small);
      const Expected &want = useBig ? wantBig : wantSmall;
      failures[id] += got.found != want.found || got.score != want.score || got.cleared != want.cleared;
    }
  };
  std::thread t0(worker, 0), t1(worker, 1);
  t0.join();
  t1.join();
  EXPECT_EQ(failures[0], 0);
  EXPECT_EQ(failures[1], 0);
}

}  // namespace
