// Threads around the capture device, through the virtual scanner.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "capture_device.h"
#include "device_state.h"
#include "frame_pipeline.h"
#include "livescan.h"
#include "lock_queue.h"
#include "result_codes.h"
#include "vscanner_fixture.h"

using namespace belnor;
using namespace belnor_test;
using namespace std::chrono_literals;

namespace {

class Threads : public VScannerTest {};

TEST_F(Threads, FetchLoopWhileAnotherThreadCloses) {
  Attach("8899:1002/fps=60");
  int threadsBefore = 0;
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    // Counted after the first round: sanitizers start helper threads lazily.
    if (round == 1) threadsBefore = ThreadCount();
    ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
    std::atomic<int> fetched{0};
    std::atomic<int> last{LS_OK};
    std::thread host([&] {
      std::vector<uint8_t> frame(256 * 360);
      for (;;) {
        LIVESCAN_BeginCapture(0);
        const int r = LIVESCAN_GetFPRawData(0, frame.data());
        LIVESCAN_EndCapture(0);
        last = r;
        if (r != LS_OK) break;
        ++fetched;
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(60 + 40 * round));
    EXPECT_EQ(LS_OK, LIVESCAN_Close());
    host.join();
    EXPECT_EQ(LS_ERR_NOT_INIT, last.load());
    EXPECT_EQ(nullptr, g_pCaptureDevice.load());
  }
  EXPECT_TRUE(ThreadsSettleAt(threadsBefore));
  EXPECT_EQ(0, sim.openHandles(0));
}

// Two hosts fetch in a loop from a scanner that sends nothing, each fetch
// holding the capture lock for a whole frame wait. Other calls are served in
// the order they came: a fetcher calling again at once passes none of them.
TEST_F(Threads, StalledFetchersTakeTurnsAndGiveWayToClose) {
  Attach("8899:1002/faults=no_frames");
  ASSERT_EQ(LS_ERR_TIMEOUT, LIVESCAN_Init());
  struct Call {
    int begin, end, result;
  };
  std::atomic<int> order{0};  // one order over the calls of every thread
  std::vector<Call> calls[2];
  std::vector<std::thread> fetchers;
  for (std::vector<Call>& mine : calls)
    fetchers.emplace_back([&] {
      std::vector<uint8_t> frame(256 * 360);
      for (int r = LS_OK; r != LS_ERR_NOT_INIT;) {
        const int begin = order++;
        r = LIVESCAN_GetFPRawData(0, frame.data());
        mine.push_back({begin, order++, r});
      }
    });
  // Both fetchers have called (the first fetch ends only after a frame wait).
  while (order.load() < 2) std::this_thread::sleep_for(1ms);

  const int windowBegin = order++;
  EXPECT_EQ(LS_OK, LIVESCAN_SetCaptWindow(0, 0, 0, 256, 360));
  const int windowEnd = order++;
  std::vector<uint8_t> bmp(1078 + 256 * 360);
  const int bmpBegin = order++;
  EXPECT_EQ(LS_ERR_UNKNOWN, LIVESCAN_GetFPBmpData(0, bmp.data()));
  const int bmpEnd = order++;
  const int closeBegin = order++;
  EXPECT_EQ(LS_OK, LIVESCAN_Close());
  for (std::thread& t : fetchers) t.join();

  for (const std::vector<Call>& mine : calls) {
    int passedWindow = 0, passedBmp = 0;
    for (const Call& c : mine) {
      passedWindow += c.begin > windowBegin && c.end < windowEnd;
      passedBmp += c.begin > bmpBegin && c.end < bmpEnd;
      // Close ends the fetch it found waiting, and goes before every fetch
      // called after it.
      if (c.end > closeBegin) {
        EXPECT_EQ(LS_ERR_NOT_INIT, c.result);
      }
    }
    // One at most: a fetch called in the moment before the call queued.
    EXPECT_LE(passedWindow, 1);
    EXPECT_LE(passedBmp, 1);
  }
}

// The fetch that Close finds waiting for its frame answers -5 at once, rather
// than asking for frames again until its time is up. (Above, Close follows
// the host's own BMP fetch at once, mostly before the fetcher next in line
// has asked for its frame.)
TEST_F(Threads, CloseEndsTheFetchWaitingForItsFrame) {
  Attach("8899:1002/faults=no_frames");
  ASSERT_EQ(LS_ERR_TIMEOUT, LIVESCAN_Init());
  std::atomic<pid_t> tid{0};
  std::atomic<int> result{LS_OK};
  std::thread fetcher([&] {
    tid = ThisThreadId();
    std::vector<uint8_t> frame(256 * 360);
    result = LIVESCAN_GetFPRawData(0, frame.data());
  });
  while (!tid) std::this_thread::yield();
  const CCaptureDevice* device = g_pCaptureDevice.load();
  const bool waiting =
      AwaitWithinAMinute([&] { return FutexWaitWithin(device, sizeof *device, tid); });
  EXPECT_EQ(LS_OK, LIVESCAN_Close());
  fetcher.join();
  EXPECT_TRUE(waiting);
  EXPECT_EQ(LS_ERR_NOT_INIT, result.load());
}

// Every window a host reads is one that was set, while another host
// switches windows without pause. The BMP fetch answers for the window its
// frame was taken at, while another host switches the window between a
// whole-frame size and one it crops; and a crop without a frame answers the
// fetch's error.
TEST_F(Threads, WindowAnswersAndBmpFetchesFollowTheWindowsSet) {
  Attach("8899:1001/fps=30");
  ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
  std::atomic<bool> stop{false};
  {
    std::thread tight([&] {
      for (int i = 0; !stop; ++i)
        LIVESCAN_SetCaptWindow(0, 0, 0, i % 2 ? 640 : 256, i % 2 ? 640 : 360);
    });
    int torn = 0;
    for (int i = 0; i < 1000000; ++i) {
      int x, y, width, height;
      ASSERT_EQ(LS_OK, LIVESCAN_GetCaptWindow(0, &x, &y, &width, &height));
      const bool small = x == 192 && y == 216 && width == 256 && height == 360;
      const bool large = x == 0 && y == 0 && width == 640 && height == 640;
      torn += !small && !large;
    }
    stop = true;
    tight.join();
    stop = false;
    EXPECT_EQ(0, torn);
  }
  std::thread switcher([&] {
    for (int i = 0; !stop; ++i) {
      EXPECT_EQ(LS_OK, LIVESCAN_SetCaptWindow(0, 0, 0, i % 2 ? 640 : 256, i % 2 ? 640 : 360));
      std::this_thread::sleep_for(5ms);
    }
  });
  std::vector<uint8_t> bmp(1078 + 400 * 400);
  int whole = 0, cropped = 0;
  for (int i = 0; i < 40; ++i) {
    const int r = LIVESCAN_GetFPBmpData(0, bmp.data());
    const int width = bmp[18] | bmp[19] << 8, height = bmp[22] | bmp[23] << 8;
    if (r == LS_ERR_UNKNOWN) continue;  // 640 x 640 set after a call at 256 x 360
    if (r == LS_OK) {
      ++whole;
      EXPECT_EQ(256, width);
      EXPECT_EQ(360, height);
    } else {
      ASSERT_TRUE(r == 2 || r == 3) << r;
      ++cropped;
      EXPECT_EQ(400, width);
      EXPECT_EQ(400, height);
    }
  }
  stop = true;
  switcher.join();
  EXPECT_GT(whole, 0);
  EXPECT_GT(cropped, 0);

  ASSERT_EQ(LS_OK, LIVESCAN_SetCaptWindow(0, 0, 0, 640, 640));
  ASSERT_EQ(0, sim.setFault(0, VSCANNER_FAULT_NO_FRAMES, 1000));
  // Frames already on their way are still read; then the fetch fails.
  int r = LS_OK;
  for (int i = 0; i < 10 && r != LS_ERR_UNKNOWN; ++i) r = LIVESCAN_GetFPBmpData(0, bmp.data());
  EXPECT_EQ(LS_ERR_UNKNOWN, r);
}

// A host sizes its buffer from the window in force when it calls. Another
// host's window change that queues before the call's turn (while a fetch
// holds it) is not written into that buffer when it needs more; when it needs
// no more, the frame of the new window is.
TEST_F(Threads, FetchesWriteNoMoreThanTheWindowOfTheirCall) {
  Attach("8899:1001/fps=30");
  ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
  struct Case {
    bool bmp;
    int before, after;  // square windows, or 360 for 256 x 360
    int expected;
  } cases[] = {{false, 360, 640, LS_ERR_UNKNOWN}, {true, 360, 640, LS_ERR_UNKNOWN},
               {false, 360, 360, LS_OK},          {true, 360, 360, LS_OK},
               {false, 640, 400, LS_OK},          {true, 640, 360, LS_OK}};
  auto set = [](int w) { return LIVESCAN_SetCaptWindow(0, 0, 0, w == 360 ? 256 : w, w); };
  constexpr uint8_t kUnwritten = 0xA5;
  constexpr size_t kGuard = 640 * 640;  // room for the largest window's frame
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.bmp ? "bmp " : "raw ") << c.before << " -> " << c.after);
    ASSERT_EQ(LS_OK, set(c.before));
    std::atomic<pid_t> changer{0}, caller{0};
    std::vector<uint8_t> buffer;
    size_t sized = 0;
    int result = 0;
    std::thread change, call;
    {
      // A fetch in its turn.
      std::lock_guard<FairLock> turn(g_CaptureLock);
      change = std::thread([&] {
        changer = ThisThreadId();
        EXPECT_EQ(LS_OK, set(c.after));
      });
      while (!changer) std::this_thread::yield();
      EXPECT_TRUE(AwaitQueuedOn(g_CaptureLock, changer));
      call = std::thread([&] {
        int x = 0, y = 0, width = 0, height = 0;
        EXPECT_EQ(LS_OK, LIVESCAN_GetCaptWindow(0, &x, &y, &width, &height));
        const size_t stride = (size_t(std::min(width, 400)) + 3) / 4 * 4;
        sized = c.bmp ? 1078 + stride * size_t(std::min(height, 400))
                      : size_t(width) * size_t(height);
        buffer.assign(sized + kGuard, kUnwritten);
        caller = ThisThreadId();
        result = c.bmp ? LIVESCAN_GetFPBmpData(0, buffer.data())
                       : LIVESCAN_GetFPRawData(0, buffer.data());
      });
      while (!caller) std::this_thread::yield();
      EXPECT_TRUE(AwaitQueuedOn(g_CaptureLock, caller));
    }
    change.join();
    call.join();
    EXPECT_EQ(c.expected, result);
    const size_t unwritten = size_t(
        std::find_if(buffer.rbegin(), buffer.rend(), [](uint8_t b) { return b != kUnwritten; }) -
        buffer.rbegin());
    EXPECT_GE(unwritten, kGuard) << "written past the " << sized << " bytes sized at the call";
    if (c.expected != LS_OK) {
      EXPECT_EQ(buffer.size(), unwritten) << "written although refused";
    }
  }
}

TEST_F(Threads, ConcurrentInitsOpenOneDevice) {
  Attach("8899:1002/fps=60");
  std::atomic<int> ok{0};
  std::vector<std::thread> hosts;
  for (int i = 0; i < 4; ++i)
    hosts.emplace_back([&] {
      // A busy machine may delay the first frame past init's wait; the
      // library is open all the same.
      const int r = LIVESCAN_Init();
      if (r == LS_OK || r == LS_ERR_TIMEOUT) ++ok;
    });
  for (std::thread& t : hosts) t.join();
  EXPECT_EQ(4, ok.load());
  EXPECT_EQ(1, sim.openHandles(0));
  ASSERT_TRUE(AwaitFirstFrame());
  std::vector<uint8_t> frame(256 * 360);
  EXPECT_EQ(LS_OK, LIVESCAN_GetFPRawData(0, frame.data()));
}

TEST_F(Threads, GuardedDeviceUseDuringClose) {
  Attach("8899:1002/fps=60");
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
    std::atomic<bool> stop{false};
    std::atomic<int> uses{0};
    // What the attribute exports do: hold the guard, talk to the camera.
    std::thread host([&] {
      while (!stop) {
        DeviceAccess device;
        if (!device) continue;
        int16_t brightness = 0;
        device->Camera()->GetBrightness(&brightness);
        ++uses;
      }
    });
    while (uses.load() < 5) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(LS_OK, LIVESCAN_Close());
    stop = true;
    host.join();
    EXPECT_EQ(nullptr, g_pCaptureDevice.load());
  }
}

// A pipeline much slower than the camera: frames pile up while it works.
int SlowPipeline(const uint8_t* frame, int width, int height, uint8_t* out, int* outWidth,
                 int* outHeight) {
  std::this_thread::sleep_for(70ms);
  return ProcessFrameCallback(frame, width, height, out, outWidth, outHeight);
}

TEST_F(Threads, BackloggedFramesAreNeverTransformedTwice) {
  Attach("8899:1002/fps=60");
  PowerUpControls controls(sim, 0);
  ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
  controls.Restore();
  {
    DeviceAccess device;
    ASSERT_TRUE(device);
    device->SetProcessCallback(SlowPipeline);
  }
  const TypeGeometry g{2, 256, 360, 1280, 720};
  const std::vector<uint8_t> expected = ExpectedWindow(g);
  std::vector<uint8_t> frame(expected.size());
  // Frames rendered before the camera was put back may still be on their way.
  bool settled = false;
  for (int i = 0; i < 20 && !settled; ++i) {
    ASSERT_EQ(LS_OK, LIVESCAN_GetFPRawData(0, frame.data()));
    settled = Compare(frame, expected).worst == 0;
  }
  ASSERT_TRUE(settled);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(LS_OK, LIVESCAN_GetFPRawData(0, frame.data()));
    // Inverted exactly once, whatever arrived during the slow pass.
    EXPECT_EQ(0, Compare(frame, expected).worst) << i;
  }
}

}  // namespace
