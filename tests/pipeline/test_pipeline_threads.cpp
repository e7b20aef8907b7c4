// The pipeline on the worker thread while host threads change attributes,
// windows and fetch frames: the worker's brightness steps and the hosts'
// attribute calls share g_ImgAttr, and a window change must never tear a
// frame.
#include <gtest/gtest.h>

#include <atomic>
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

TEST_F(PipelineThreads, AttributesWindowsAndFetchesAlongsideTheLoop) {
  Attach("8899:1001/fps=60");
  ASSERT_EQ(LS_OK, LIVESCAN_Init());
  ImgAttr attr{};
  ASSERT_EQ(LS_OK, LIVESCAN_GetImgAttr(0, &attr, 0));
  attr.bAutoAdjust = attr.bClearBk = attr.bAutoPos = 1;
  attr.WB = 4650;
  ASSERT_EQ(LS_OK, LIVESCAN_SetImgAttr(0, 0, attr));

  std::atomic<bool> stop{false};
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
      LIVESCAN_SetCaptWindow(0, w[0], w[1], w[2], w[3]);
    }
  });
  // Every frame has the size of one of the windows; the fetch delivers only
  // the current window's shape.
  std::vector<uint8_t> frame(640 * 640);
  int fetched = 0;
  for (int i = 0; i < 30; ++i) fetched += LIVESCAN_GetFPRawData(0, frame.data()) == LS_OK;
  std::vector<uint8_t> bmp(1078 + 400 * 400);
  for (int i = 0; i < 5; ++i) LIVESCAN_GetFPBmpData(0, bmp.data());
  stop = true;
  attributes.join();
  windows.join();
  EXPECT_GT(fetched, 0);
  EXPECT_EQ(LS_OK, LIVESCAN_Close());
}

}  // namespace
