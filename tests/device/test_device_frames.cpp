// Frames and faults through the virtual scanner.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "device_state.h"
#include "livescan.h"
#include "result_codes.h"
#include "vscanner_fixture.h"

using namespace belnor;
using namespace belnor_test;

namespace {

class Frames : public VScannerTest {
 protected:
  // Init, then put the camera back to power-up so it renders the scene as it
  // is, and drop the frames taken before that.
  void Open(const std::string& devices) {
    Attach(devices);
    PowerUpControls controls(sim, 0);
    ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
    controls.Restore();
    const WindowSnapshot window = LoadCaptureWindow();
    geometry = {g_nDevType, window.width, window.height, g_SensorWidth, g_SensorHeight};
    frame.assign(static_cast<size_t>(geometry.windowWidth) * geometry.windowHeight, 0);
    // Frames rendered before the restore may still be on their way.
    const std::vector<uint8_t> expected = ExpectedWindow(geometry);
    for (int i = 0; i < 30; ++i) {
      ASSERT_EQ(LS_OK, LIVESCAN_GetFPRawData(0, frame.data()));
      if (Compare(frame, expected).mean <= 2.0) return;
    }
    FAIL() << "the picture never settled";
  }

  TypeGeometry geometry{};
  std::vector<uint8_t> frame;
};

struct StreamCase {
  const char* id;
  const char* format;
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.id << ' ' << c.format; }

class EachStream : public Frames, public testing::WithParamInterface<StreamCase> {};

TEST_P(EachStream, WindowFramesFlowWithTheSamePictureInEitherFormat) {
  const StreamCase c = GetParam();
  const bool mjpeg = std::string(c.format) == "mjpeg";
  const int fps = std::string(c.id) == "8899:1003" ? 15 : 30;
  Open(std::string(c.id) + "/format=" + c.format + "/fps=" + std::to_string(fps));
  const std::vector<uint8_t> expected = ExpectedWindow(geometry);
  const int64_t sentBefore = sim.framesSent(0);
  for (int i = 0; i < 4; ++i) {
    std::fill(frame.begin(), frame.end(), 0);
    ASSERT_EQ(LS_OK, LIVESCAN_GetFPRawData(0, frame.data())) << i;
    const Difference d = Compare(frame, expected);
    if (mjpeg) {
      EXPECT_LE(d.worst, 24) << i;
      EXPECT_LE(d.mean, 2.0) << i;
    } else {
      EXPECT_EQ(0, d.worst) << i;
    }
  }
  EXPECT_GT(sim.framesSent(0), sentBefore);  // the stream keeps flowing
}

INSTANTIATE_TEST_SUITE_P(
    TypesAndFormats, EachStream,
    testing::Values(StreamCase{"8899:1001", "yuyv"}, StreamCase{"8899:1001", "mjpeg"},
                    StreamCase{"8899:1002", "yuyv"}, StreamCase{"8899:1002", "mjpeg"},
                    StreamCase{"8899:1003", "yuyv"}, StreamCase{"8899:1003", "mjpeg"}),
    [](const testing::TestParamInfo<StreamCase>& info) {
      std::string name = std::string(info.param.id) + "_" + info.param.format;
      for (char& ch : name)
        if (ch == ':') ch = '_';
      return name;
    });

TEST_F(Frames, UnsupportedFormatInitialisesButNeverDelivers) {
  Attach("8899:1002/format=gray8/fps=30");
  ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
  EXPECT_EQ(1, sim.isStreaming(0));
  std::vector<uint8_t> buffer(256 * 360);
  EXPECT_EQ(LS_ERR_UNKNOWN, LIVESCAN_GetFPRawData(0, buffer.data()));
}

TEST_F(Frames, ShortAndCorruptFramesAreDropped) {
  for (const char* format : {"yuyv", "mjpeg"}) {
    SCOPED_TRACE(format);
    Open(std::string("8899:1002/fps=30/format=") + format);
    const std::vector<uint8_t> expected = ExpectedWindow(geometry);
    ASSERT_EQ(0, sim.setFault(0, VSCANNER_FAULT_SHORT_FRAME, 5));
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(LS_OK, LIVESCAN_GetFPRawData(0, frame.data()));
      // Never half a frame: every delivered frame is the whole picture.
      EXPECT_LE(Compare(frame, expected).mean, 2.0);
    }
    ASSERT_EQ(0, sim.setFault(0, VSCANNER_FAULT_CORRUPT_FRAME, 5));
    for (int i = 0; i < 8; ++i) ASSERT_EQ(LS_OK, LIVESCAN_GetFPRawData(0, frame.data()));
    ASSERT_EQ(LS_OK, LIVESCAN_GetFPRawData(0, frame.data()));
    EXPECT_LE(Compare(frame, expected).mean, 2.0);
    LIVESCAN_Close();
  }
}

TEST_F(Frames, NoFramesTimesOutAndStaysOpen) {
  Attach("8899:1001/fps=30/faults=no_frames");
  EXPECT_EQ(LS_ERR_TIMEOUT, LIVESCAN_Init());
  EXPECT_EQ(1, g_bInitialized.load());
  std::vector<uint8_t> buffer(640 * 640);
  EXPECT_EQ(LS_ERR_UNKNOWN, LIVESCAN_GetFPRawData(0, buffer.data()));
  // Frames that come later are delivered.
  ASSERT_EQ(0, sim.setFault(0, VSCANNER_FAULT_NO_FRAMES, 0));
  EXPECT_EQ(LS_OK, LIVESCAN_GetFPRawData(0, buffer.data()));
}

TEST_F(Frames, UnplugMakesFetchesFailAndCloseStillWorks) {
  Open("8899:1002/fps=30");
  ASSERT_EQ(0, sim.unplug(0));
  // A frame already received before the unplug may still come out.
  int r = LS_OK;
  for (int i = 0; i < 3 && r == LS_OK; ++i) r = LIVESCAN_GetFPRawData(0, frame.data());
  EXPECT_EQ(LS_ERR_UNKNOWN, r);
  EXPECT_EQ(LS_OK, LIVESCAN_Close());
  EXPECT_EQ(0, g_bInitialized.load());
  EXPECT_EQ(0, sim.openHandles(0));
}

}  // namespace
