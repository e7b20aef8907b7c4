// The pipeline on the worker thread while host threads change attributes,
// windows and fetch frames: the worker's brightness steps and the hosts'
// attribute calls share g_ImgAttr, and a window change must never tear a
// frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "device_state.h"
#include "livescan.h"
#include "result_codes.h"
#include "vscanner_fixture.h"

using namespace belnor;
using namespace belnor_test;

namespace {

class PipelineThreads : public VScannerTest {};

// How much of a frame buffer a fetch wrote, in whole window areas: the
// pattern it was filled with shows through after them. 0 when no area fits.
// A pixel may match the pattern by chance, so the end of an area must show
// some change, not its very last byte.
size_t WrittenWindowArea(const std::vector<uint8_t> &frame, const std::vector<uint8_t> &pattern) {
  for (size_t area : {size_t(256 * 360), size_t(400 * 400), size_t(640 * 640)}) {
    const bool untouchedAfter = std::equal(frame.begin() + area, frame.end(), pattern.begin() + area);
    const bool writtenUpTo = !std::equal(frame.begin() + area - 64, frame.begin() + area, pattern.begin() + area - 64);
    if (untouchedAfter && writtenUpTo) return area;
  }
  return 0;
}

TEST_F(PipelineThreads, AttributesWindowsAndFetchesAlongsideTheLoop) {
  Attach("8899:1001/fps=60");
  ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
  ImgAttr attr{};
  ASSERT_EQ(LS_OK, LIVESCAN_GetImgAttr(0, &attr, 0));
  attr.bAutoAdjust = attr.bClearBk = attr.bAutoPos = 1;
  attr.WB = 4650;
  ASSERT_EQ(LS_OK, LIVESCAN_SetImgAttr(0, 0, attr));

  std::atomic<bool> stop{false};
  // Each window change counts twice, before and after: a fetch that starts
  // and ends on the same even count saw no change.
  std::atomic<unsigned> changes{0};
  std::atomic<int> fetches{0};
  std::thread attributes([&] {
    ImgAttr a{};
    for (int i = 0; !stop; ++i) {
      LIVESCAN_GetImgAttr(0, &a, 0);
      a.bClearBk = uint8_t(i & 1);
      a.WB = 4650;
      LIVESCAN_SetImgAttr(0, 0, a);
      int v = 0;
      LIVESCAN_GetBright(0, &v);
    }
  });
  std::thread windows([&] {
    const int sizes[][4] = {{192, 216, 256, 360}, {120, 120, 400, 400}, {0, 0, 640, 640}};
    for (int i = 0; !stop; ++i) {
      const int *w = sizes[i % 3];
      ++changes;
      LIVESCAN_SetCaptWindow(0, w[0], w[1], w[2], w[3]);
      ++changes;
      // Two fetches per change, so that some see the window hold still.
      for (const int seen = fetches; !stop && fetches - seen < 2;) std::this_thread::yield();
    }
  });
  // Every frame has the size of one of the windows; a fetch during which the
  // window held still delivers exactly that window's shape.
  std::vector<uint8_t> pattern(640 * 640), frame(pattern.size());
  std::mt19937 rng(3);
  for (uint8_t &b : pattern) b = uint8_t(rng());
  int fetched = 0, still = 0, badSize = 0, wrongShape = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (still < 10 && std::chrono::steady_clock::now() < deadline) {
    const unsigned before = changes;
    int x = 0, y = 0, width = 0, height = 0;
    LIVESCAN_GetCaptWindow(0, &x, &y, &width, &height);
    frame = pattern;
    const int r = LIVESCAN_GetFPRawData(0, frame.data());
    const bool held = before % 2 == 0 && changes == before;
    ++fetches;
    if (r != LS_OK) continue;
    ++fetched;
    const size_t written = WrittenWindowArea(frame, pattern);
    badSize += written == 0;
    if (!held) continue;
    ++still;
    wrongShape += written != size_t(width) * size_t(height);
  }
  std::vector<uint8_t> bmp(1078 + 400 * 400);
  for (int i = 0; i < 5; ++i) LIVESCAN_GetFPBmpData(0, bmp.data());
  stop = true;
  attributes.join();
  windows.join();
  EXPECT_EQ(badSize, 0) << "frames of no window's size, of " << fetched;
  EXPECT_GE(still, 10) << "fetches while the window held still";
  EXPECT_EQ(wrongShape, 0) << "frames not of the window's shape, of " << still << " fetched while it held still";
  EXPECT_EQ(LS_OK, LIVESCAN_Close());
}

}  // namespace
