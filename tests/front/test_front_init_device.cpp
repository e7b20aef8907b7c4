// Init on an open scanner: a second init during the first waits for it and
// shares its outcome, no export meets the device half-started, and the
// stored settings that init accepts reach the camera.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "livescan.h"
#include "result_codes.h"
#include "settings_record.h"
#include "vscanner_fixture.h"

using namespace belnor;
using namespace belnor_test;

namespace {

constexpr int kBrightness = 0x02, kContrast = 0x03, kWhiteBalanceAuto = 0x0B;

// Waits (generously: the machine may be busy) until done() holds.
template <class Done>
bool WaitFor(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    usleep(1000);
  }
  return true;
}

class ConcurrentInit : public VScannerTest {};

TEST_F(ConcurrentInit, SecondInitWaitsAndSharesTheOutcome) {
  // No frames: the first init streams, waits its 3 s and gives -107.
  Attach("8899:1001/faults=no_frames");
  std::atomic<int> first{0};
  std::atomic<bool> firstDone{false};
  std::thread starter([&] {
    first = LIVESCAN_Init();
    firstDone = true;
  });
  ASSERT_TRUE(WaitFor([&] { return sim.isStreaming(0) == 1 || firstDone; }));
  // The device streams but init has not finished: nothing is open yet.
  int x, y, w, h;
  const int begin = LIVESCAN_BeginCapture(0);
  const int window = LIVESCAN_GetCaptWindow(0, &x, &y, &w, &h);
  const int bright = LIVESCAN_SetBright(0, 10);
  const bool checkedDuringInit = !firstDone;
  // A flash read waits for the device to be started.
  std::atomic<int> read{0};
  std::atomic<bool> readAfterInit{false};
  std::thread reader([&] {
    uint8_t settings[16];
    read = ReadVendorData(0, settings, 0xCA000, sizeof settings);
    readAfterInit = LIVESCAN_BeginCapture(0) == LS_OK;
  });
  const int second = LIVESCAN_Init();
  starter.join();
  reader.join();
  EXPECT_EQ(read, LS_OK);
  EXPECT_TRUE(readAfterInit);
  EXPECT_EQ(first, LS_ERR_TIMEOUT);
  if (checkedDuringInit) {
    EXPECT_EQ(begin, LS_ERR_NOT_INIT);
    EXPECT_EQ(window, LS_ERR_NOT_INIT);
    EXPECT_EQ(bright, LS_ERR_NOT_INIT);
    EXPECT_EQ(second, first);
  }
  // Open after the time-out, as a single init leaves it.
  EXPECT_EQ(LIVESCAN_BeginCapture(0), LS_OK);
  EXPECT_EQ(LIVESCAN_Init(), LS_OK);
}

TEST_F(ConcurrentInit, InitsFromManyThreadsOpenOneDevice) {
  Attach("8899:1001/fps=30");
  std::atomic<int> failures{0};
  std::thread threads[4];
  for (std::thread &t : threads)
    t = std::thread([&] {
      // A busy machine may delay the first frame past init's wait.
      const int r = LIVESCAN_Init();
      if (r != LS_OK && r != LS_ERR_TIMEOUT) ++failures;
      int x, y, w, h;
      // Whoever sees init done sees the window of the type.
      if (LIVESCAN_GetCaptWindow(0, &x, &y, &w, &h) != LS_OK || w != 640 || h != 640)
        ++failures;
    });
  for (std::thread &t : threads) t.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(sim.openHandles(0), 1);  // opened once, by one of them
}

struct StoredSettings {
  const char *id;
  uint32_t address;
  int bright, contrast;  // what the camera must hold for Bright 30, Contrast 40
  bool programsWhiteBalance;
};

void PrintTo(const StoredSettings &s, std::ostream *os) { *os << s.id; }

class StoredSettingsApplied : public VScannerTest,
                              public testing::WithParamInterface<StoredSettings> {};

TEST_P(StoredSettingsApplied, AutomaticWhiteBalanceKeepsBrightnessAndContrast) {
  const StoredSettings p = GetParam();
  Attach(p.id);
  SettingsRecord record = FreshSettingsRecord();
  record.attr.Bright = 30;
  record.attr.Contrast = 40;
  record.attr.WB = 0;  // automatic
  record.attr.Gain = 4;
  record.attr.Exposure = -7;
  record.attr.Gamma = 50;
  uint8_t bytes[kSettingsRecordSize];
  EncodeSettingsRecord(record, bytes);
  auto writeFlash = VSCANNER_LOOKUP(vscanner_write_flash);
  ASSERT_NE(writeFlash, nullptr);
  ASSERT_EQ(writeFlash(0, p.address, bytes, sizeof bytes), 0);

  ASSERT_EQ(InitAwaitingFirstFrame(), LS_OK);
  int32_t bright = -1, contrast = -1;
  ASSERT_EQ(sim.getControl(0, VSCANNER_UNIT_PROCESSING, kBrightness, &bright), 0);
  ASSERT_EQ(sim.getControl(0, VSCANNER_UNIT_PROCESSING, kContrast, &contrast), 0);
  EXPECT_EQ(bright, p.bright);
  EXPECT_EQ(contrast, p.contrast);
  if (p.programsWhiteBalance) {
    int32_t autoWb = -1;
    ASSERT_EQ(sim.getControl(0, VSCANNER_UNIT_PROCESSING, kWhiteBalanceAuto, &autoWb), 0);
    EXPECT_EQ(autoWb, 1);
  }
  // What the library reports is what the camera holds.
  ImgAttr stored{};
  ASSERT_EQ(LIVESCAN_GetImgAttr(0, &stored, 1), LS_OK);
  EXPECT_EQ(int(stored.Bright), 30);
  EXPECT_EQ(int(stored.WB), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Types, StoredSettingsApplied,
    testing::Values(StoredSettings{"8899:1001", 0xCA000, 30, 40, true},
                    StoredSettings{"8899:1002", 0x20000, 255 - 30, 40, true},
                    StoredSettings{"8899:1003", 0x20820, (30 + 127) / 2, 40, false}),
    [](const testing::TestParamInfo<StoredSettings> &i) {
      return "Type" + std::to_string(i.index == 0 ? 1 : i.index == 1 ? 2 : 5);
    });

}  // namespace
