// The reduced build through the virtual scanner: its one capture window, its
// binary description and the probe device it keeps, the buffer filler and
// the finger check.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "device_state.h"
#include "finger_scenes.h"
#include "livescan_lite.h"
#include "result_codes.h"
#include "scanner_optics.h"
#include "vscanner_access.h"
#include "vscanner_fixture.h"

using namespace belnor;
using belnor_test::InitAwaitingFirstFrame;
using belnor_test::VScannerTest;

namespace {

class Lite : public VScannerTest {
 protected:
  // A still picture as the scanner's scene (set after Attach).
  static int Still(void *user, uint64_t frame, int width, int height, uint8_t *light) {
    const auto *p = static_cast<const std::vector<uint8_t> *>(user);
    if (frame > 0 || p->size() != size_t(width) * height) return 0;
    std::memcpy(light, p->data(), p->size());
    return 1;
  }
  void ShowScene(const char *spec, int type) {
    sim::SceneSpec s;
    ASSERT_TRUE(sim::ParseSceneSpec(spec, &s));
    const sim::ScannerOptics optics(type, {});
    int vw, vh;
    sim::SceneViewSize(type, &vw, &vh);
    std::vector<uint8_t> view(size_t(vw) * vh), corrected(view.size());
    sim::SceneRenderer(s, vw, vh).Render(3000, view.data());
    sim::ViewToCorrected(type, view.data(), corrected.data());
    // The scanner renders a scene again only when its source changes: each
    // new picture gets the other buffer.
    std::vector<uint8_t> &picture = pictures[shown++ % 2];
    picture.resize(size_t(optics.sensorWidth()) * optics.sensorHeight());
    optics.Render(corrected.data(), picture.data());
    sim.setScene(0, Still, &picture);
  }
  void TearDown() override {
    VScannerTest::TearDown();
    sim.setScene(0, nullptr, nullptr);
  }
  std::vector<uint8_t> pictures[2];
  int shown = 0;
};

WindowSnapshot Window() {
  WindowSnapshot w{};
  EXPECT_EQ(LIVESCAN_GetCaptWindow(0, &w.x, &w.y, &w.width, &w.height), LS_OK);
  return w;
}

void ExpectWindow(int x, int y) {
  const WindowSnapshot w = Window();
  EXPECT_EQ(w.x, x);
  EXPECT_EQ(w.y, y);
  EXPECT_EQ(w.width, 256);
  EXPECT_EQ(w.height, 360);
}

TEST(LiteClosed, CallsThatNeedNoScanner) {
  uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(LIVESCAN_SetBufferEmpty(nullptr, 10), LS_ERR_PARAM);
  EXPECT_EQ(LIVESCAN_SetBufferEmpty(buffer, 0), LS_OK);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(LIVESCAN_SetBufferEmpty(buffer, 5), LS_OK);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 8), (std::vector<uint8_t>{0, 0, 0, 0, 0, 6, 7, 8}));
  EXPECT_EQ(LIVESCAN_CheckFingerPress(), LS_ERR_NOT_INIT);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 256, 360), LS_ERR_NOT_INIT);
  EXPECT_EQ(LIVESCAN_GetDesc(nullptr), LS_ERR_PARAM);

  // No scanner: the product fields are zero, so the text follows the digits.
  VS(vscanner_reset)("");
  std::vector<char> text(1024, 'x');
  ASSERT_EQ(LIVESCAN_GetDesc(text.data()), LS_OK);
  EXPECT_EQ(text[0], 9);
  EXPECT_EQ(std::string(text.data() + 1, 9), "519472602");
  EXPECT_STREQ(text.data() + 10, ",便携式指纹采集仪,QX735");
  EXPECT_EQ(text[1023], 0);
}

// The origin's limits hold on every type, whatever its corrected image
// would allow.
void ExpectOriginLimits() {
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 385, 0, 256, 360), LS_ERR_PARAM);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 281, 256, 360), LS_ERR_PARAM);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 384, 280, 256, 360), LS_OK);
}

TEST_F(Lite, OneWindowPlacedByTheDeviceType) {
  Attach("8899:1001/fps=30");
  ASSERT_EQ(InitAwaitingFirstFrame(), LS_OK);
  ExpectWindow(192, 216);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 400, 400), LS_ERR_PARAM);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(9, 0, 0, 256, 360), LS_ERR_PARAM);
  ExpectWindow(192, 216);
  ExpectOriginLimits();
  ExpectWindow(384, 280);
  std::vector<uint8_t> frame(256 * 360);
  EXPECT_EQ(LIVESCAN_GetFPRawData(0, frame.data()), LS_OK);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 256, 360), LS_OK);
  ExpectWindow(192, 216);
  LIVESCAN_Close();

  Attach("8899:1003/fps=15");
  ASSERT_EQ(InitAwaitingFirstFrame(), LS_OK);
  ExpectWindow(672, 1076);
  EXPECT_EQ(g_SensorWidth.load(), 2592);
  EXPECT_EQ(LIVESCAN_GetFPRawData(0, frame.data()), LS_OK);
  ExpectOriginLimits();
  ExpectWindow(384, 280);
  LIVESCAN_Close();

  Attach("8899:1002/fps=30");
  ASSERT_EQ(InitAwaitingFirstFrame(), LS_OK);
  ExpectOriginLimits();
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 100, 100, 256, 360), LS_OK);
  ExpectWindow(0, 0);
  EXPECT_EQ(LIVESCAN_GetFPRawData(0, frame.data()), LS_OK);
}

// The window is set inside init: a Close on another thread right after it
// must not turn a successful init into -5.
TEST_F(Lite, InitAnswersAsTheFullBuildWhileAnotherThreadCloses) {
  Attach("8899:1002/fps=30");
  std::atomic<bool> stop{false};
  std::thread closer([&] {
    while (!stop) LIVESCAN_Close();
  });
  int inits = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < end) {
    const int r = LIVESCAN_Init();
    ++inits;
    // -107: a busy machine may keep the first frame past init's wait.
    if (r != LS_OK && r != LS_ERR_TIMEOUT) {
      ADD_FAILURE() << "Init answered " << r << " after " << inits << " calls";
      break;
    }
  }
  stop = true;
  closer.join();
}

std::vector<uint8_t> ProductBytes(const char *serial, int year, int month, int day) {
  std::vector<uint8_t> b(serial, serial + 16);
  for (int v : {year & 0xFF, year >> 8, month, day, 0, 0, 0, 0}) b.push_back(uint8_t(v));
  return b;
}

TEST_F(Lite, DescriptionCarriesTheProductRecord) {
  Attach("8899:1002");
  const auto product = ProductBytes("ABCDEFGHJKLMNPQR", 2024, 5, 9);
  ASSERT_EQ(VS(vscanner_write_flash)(0, 0x20040, product.data(), 24), 0);
  std::vector<char> text(1024, 'x');
  ASSERT_EQ(LIVESCAN_GetDesc(text.data()), LS_OK);
  std::string want("\x07" "519472602" "KLMNPQR" "\xE8\x07\x05\x09" ",指纹采集仪,QX-M720");
  EXPECT_EQ(std::string(text.data()), want);
  EXPECT_EQ(text[want.size()], 0);
  for (size_t i = want.size(); i < text.size(); ++i) ASSERT_EQ(text[i], 0) << i;
}

TEST_F(Lite, TheProbeDeviceStaysOpenUntilInitAndIsNeverOpenedTwice) {
  // Blank flash: no valid serial, so every call reads the scanner again.
  Attach("8899:1001/fps=30");
  std::vector<char> text(1024);
  ASSERT_EQ(LIVESCAN_GetDesc(text.data()), LS_OK);
  EXPECT_EQ(sim.openHandles(0), 1);
  const int opened = sim.openCount(0);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(LIVESCAN_GetDesc(text.data()), LS_OK);
    EXPECT_EQ(sim.openHandles(0), 1) << i;
  }
  EXPECT_EQ(sim.openCount(0), opened);
  // Init replaces the probe with the capture device.
  ASSERT_EQ(InitAwaitingFirstFrame(), LS_OK);
  EXPECT_EQ(sim.openHandles(0), 1);
  ExpectWindow(192, 216);
  LIVESCAN_Close();
  EXPECT_EQ(sim.openHandles(0), 0);
  // Close also drops a probe kept before any init.
  ASSERT_EQ(LIVESCAN_GetDesc(text.data()), LS_OK);
  EXPECT_EQ(sim.openHandles(0), 1);
  LIVESCAN_Close();
  EXPECT_EQ(sim.openHandles(0), 0);
}

// Two type-5 scanners with different flash. The product read before init
// keeps the first open; init then opens the second, and nothing read through
// the first (its record, its flash pages, the settings init applies) answers
// for it. A change of the active device replaces a kept probe too.
TEST_F(Lite, InitOfAnotherScannerReadsOnlyItsOwnFlash) {
  Attach("8899:1003/serial=AAA/fps=30,8899:1003/serial=BBB/fps=30");
  constexpr unsigned kSettings = 0x20820;
  uint8_t settings[2][16];
  for (int dev : {0, 1}) {
    ASSERT_EQ(VS(vscanner_read_flash)(dev, kSettings, settings[dev], 16), 0);
    settings[dev][7] = uint8_t(dev ? 90 : 10);  // Bright
    ASSERT_EQ(VS(vscanner_write_flash)(dev, kSettings, settings[dev], 16), 0);
  }
  auto serial = [] {
    ProductInfo info{};
    EXPECT_EQ(LIVESCAN_GetProductInfo(0, &info), LS_OK);
    return std::string(info.Serial, 3);
  };
  EXPECT_EQ(serial(), "AAA");
  EXPECT_EQ(sim.openHandles(0), 1);
  const int r = LIVESCAN_InitEx(0);
  ASSERT_TRUE(r == LS_OK || r == LS_ERR_TIMEOUT) << r;
  EXPECT_EQ(sim.openHandles(0), 0);
  EXPECT_EQ(sim.openHandles(1), 1);
  EXPECT_EQ(serial(), "BBB");
  uint8_t read[16];
  ASSERT_EQ(ReadVendorData(0, read, kSettings, sizeof read), LS_OK);
  EXPECT_EQ(std::memcmp(read, settings[1], sizeof read), 0);
  // Type 5 sends half of Bright + 127.
  EXPECT_EQ(belnor_test::Control(VSCANNER_UNIT_PROCESSING, belnor_test::kPuBrightness, 1),
            (90 + 127) / 2);
  LIVESCAN_Close();
  // Init kept the second as the active device.
  EXPECT_EQ(serial(), "BBB");
  ASSERT_EQ(LIVESCAN_SetActiveDev(-1), LS_OK);
  EXPECT_EQ(serial(), "AAA");
  EXPECT_EQ(sim.openHandles(0), 1);
  EXPECT_EQ(sim.openHandles(1), 0);
}

TEST_F(Lite, FingerPressTellsAFingerFromABarePlaten) {
  Attach("8899:1001/fps=30");
  ShowScene("flat@3", 1);
  const belnor_test::PowerUpControls controls(sim, 0);
  ASSERT_EQ(InitAwaitingFirstFrame(), LS_OK);
  controls.Restore();
  int pressed = 0;
  for (int i = 0; i < 10 && pressed != LS_OK; ++i) pressed = LIVESCAN_CheckFingerPress();
  EXPECT_EQ(pressed, LS_OK);
  ShowScene("empty", 1);
  int bare = LS_OK;
  for (int i = 0; i < 10 && bare != 0; ++i) bare = LIVESCAN_CheckFingerPress();
  EXPECT_EQ(bare, 0);
  ASSERT_EQ(VS(vscanner_set_fault)(0, VSCANNER_FAULT_NO_FRAMES, 1000), 0);
  // Frames already on their way are still read; then the fetch fails.
  int none = 0;
  for (int i = 0; i < 10 && none != LS_ERR_UNKNOWN; ++i) none = LIVESCAN_CheckFingerPress();
  EXPECT_EQ(none, LS_ERR_UNKNOWN);
}

}  // namespace
