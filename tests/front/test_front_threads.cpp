// The front's device calls on one thread while another closes the library:
// they either work or answer -5, never touch a freed device, and a settings
// save that runs into Close still ends with a whole record in flash.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "livescan.h"
#include "vscanner_access.h"

using namespace belnor_test;

namespace {

bool Allowed(int r, std::initializer_list<int> codes) {
  for (int c : codes)
    if (r == c) return true;
  return false;
}

TEST(FrontThreads, AttributeAndVendorCallsRaceClose) {
  Attach("8899:1001/fps=30");
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(InitAwaitingFirstFrame(), 1);
    std::atomic<bool> stop{false};
    std::atomic<int> unexpected{0};
    std::thread caller([&] {
      unsigned char lamps[3] = {1, 0, 1};
      unsigned char buf[16];
      ImgAttr attr{};
      int v = 0;
      while (!stop) {
        // After Close every call answers as on a closed library.
        if (!Allowed(LIVESCAN_SetBright(0, 90), {1, -5})) ++unexpected;
        if (!Allowed(LIVESCAN_GetContrast(0, &v), {1, -5})) ++unexpected;
        if (!Allowed(LIVESCAN_GetImgAttr(0, &attr, 0), {1, -5})) ++unexpected;
        if (!Allowed(LIVESCAN_AccessLamp(0, lamps, 0), {1, -5, -101})) ++unexpected;
        if (!Allowed(ReadVendorData(0, buf, 0xCA040, sizeof buf), {1, -101})) ++unexpected;
        if (LIVESCAN_GetChannelCount() == -5) break;
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + 15 * round));
    EXPECT_EQ(LIVESCAN_Close(), 1);
    stop = true;
    caller.join();
    EXPECT_EQ(unexpected.load(), 0);
  }
}

TEST(FrontThreads, ASaveRunningIntoCloseLeavesAWholePage) {
  Attach("8899:1002/fps=30");
  std::vector<uint8_t> page(4096);
  for (size_t i = 0; i < page.size(); ++i) page[i] = uint8_t(i * 13 + 1);
  ASSERT_EQ(VS(vscanner_write_flash)(0, 0x20000, page.data(), 4096), 0);
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);
  const ImgAttr saved{0, 1, 0, 60, 70, 4500, 3, -6, 50};
  std::atomic<int> result{0};
  std::thread saver([&] { result = LIVESCAN_SetImgAttr(0, 1, saved); });
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(LIVESCAN_Close(), 1);
  saver.join();
  EXPECT_TRUE(Allowed(result, {1, -5, -101, -105})) << result;
  std::vector<uint8_t> now(4096);
  VS(vscanner_read_flash)(0, 0x20000, now.data(), 4096);
  // Everything beyond the settings record is as it was.
  EXPECT_TRUE(std::equal(page.begin() + 16, page.end(), now.begin() + 16));
  if (result == 1) {
    EXPECT_EQ(now[0], 0x46);
    EXPECT_EQ(now[7], 60);
  }
}

}  // namespace
