// The front's device calls on one thread while another closes the library:
// they either work or answer -5, never touch a freed device, a settings
// save that runs into Close still ends with a whole record in flash, and a
// product read that runs into Close leaves nothing behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "livescan.h"
#include "lock_queue.h"
#include "vscanner_access.h"

using namespace belnor_test;

namespace {

bool Allowed(int r, std::initializer_list<int> codes) {
  for (int c : codes)
    if (r == c) return true;
  return false;
}

void PresetProductSerial(unsigned address, const char *serial) {
  ASSERT_EQ(VS(vscanner_write_flash)(0, address, serial, 16), 0);
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

// Init and Close in a loop (two closers) while hosts fetch, change the
// window and read lamps, flash and the product record of a type-5 scanner,
// whose flash reads go through a page cache that Close drops. Under
// ThreadSanitizer this covers the flash layout, the product cache and the
// page cache; everywhere, no record may come out torn.
TEST(FrontThreads, EveryCallBesideInitAndClose) {
  Attach("8899:1003/fps=30");
  const std::string serial = "VS1003D000000000";
  constexpr unsigned kProductInfoAddress = 0x20800;
  std::atomic<bool> stop{false};
  std::atomic<int> unexpected{0};
  auto expect = [&](int r, std::initializer_list<int> codes, const char *call) {
    if (Allowed(r, codes)) return;
    ++unexpected;
    ADD_FAILURE() << call << " answered " << r;
  };
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    while (!stop) expect(LIVESCAN_Init(), {1, -107}, "Init");
  });
  for (int i = 0; i < 2; ++i)
    threads.emplace_back([&] {
      while (!stop) expect(LIVESCAN_Close(), {1}, "Close");
    });
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&, i] {
      std::vector<unsigned char> frame(1600 * 1500);
      unsigned char lamps[3] = {};
      char bytes[sizeof(ProductInfo)];
      for (int call = i; !stop; ++call) {
        switch (call % 5) {
          case 0: expect(LIVESCAN_GetFPRawData(0, frame.data()), {1, -5, -101}, "fetch"); break;
          case 1:
            expect(LIVESCAN_SetCaptWindow(0, 0, 0, call % 2 ? 640 : 1600, call % 2 ? 640 : 1500),
                   {1, -5}, "window");
            break;
          case 2: expect(LIVESCAN_AccessLamp(0, lamps, 1), {1, -5, -101}, "lamps"); break;
          case 3: {
            const int r = ReadVendorData(0, bytes, kProductInfoAddress, sizeof bytes);
            expect(r, {1, -101}, "flash");
            if (r == 1) {
              EXPECT_EQ(serial, std::string(bytes, 16));
            }
            break;
          }
          default: {
            ProductInfo info{};
            const int r = LIVESCAN_GetProductInfo(0, &info);
            expect(r, {1, -101}, "product");
            if (r == 1) {
              EXPECT_EQ(serial, std::string(info.Serial, 16));
            }
            break;
          }
        }
      }
    });
  // Bounded in time, not in rounds: a sanitizer build is many times slower.
  std::this_thread::sleep_for(std::chrono::seconds(6));
  stop = true;
  for (std::thread &t : threads) t.join();
  EXPECT_EQ(unexpected.load(), 0);
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

// Reads the product record on another thread, held after its first flash
// read (at its "serial:" line, by a full pipe on standard output) until Close
// has finished; returns what the read answered.
int ProductReadRunningIntoClose() {
  std::fflush(stdout);
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  int ends[2];
  if (pipe2(ends, O_NONBLOCK) != 0) return 0;
  const std::vector<char> bytes(4096, '.');
  for (size_t n : {bytes.size(), size_t(1)})
    while (write(ends[1], bytes.data(), n) > 0) {
    }
  fcntl(ends[0], F_SETFL, 0);
  fcntl(ends[1], F_SETFL, 0);
  const int console = dup(1);
  dup2(ends[1], 1);
  close(ends[1]);
  std::atomic<pid_t> tid{0};
  std::atomic<int> result{0};
  std::thread reader([&] {
    tid = ThisThreadId();
    ProductInfo info{};
    result = LIVESCAN_GetProductInfo(0, &info);
  });
  while (!tid) std::this_thread::yield();
  const bool held = AwaitWithinAMinute([&] {
    long call = -1;
    unsigned long fd = 0;
    return SleepingCall(tid, &call, &fd) && call == SYS_write && fd == 1;
  });
  const int closed = LIVESCAN_Close();
  // Nothing is asserted until standard output is back.
  dup2(console, 1);
  close(console);
  std::vector<char> drained(1 << 16);
  while (read(ends[0], drained.data(), drained.size()) > 0) {
  }
  close(ends[0]);
  reader.join();
  EXPECT_TRUE(held);
  EXPECT_EQ(closed, 1);
  return result;
}

// With the library closed, the next read asks the scanner again.
TEST(FrontThreads, AProductReadRunningIntoCloseLeavesNoRecord) {
  Attach("8899:1001/flash=blank");
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);  // a blank serial is not kept
  PresetProductSerial(0xCA040, "BEFORECLOSE00000");
  EXPECT_EQ(ProductReadRunningIntoClose(), 1);
  PresetProductSerial(0xCA040, "AFTERCLOSE000000");
  ProductInfo info{};
  ASSERT_EQ(LIVESCAN_GetProductInfo(0, &info), 1);
  EXPECT_EQ(std::string(info.Serial, 16), "AFTERCLOSE000000");
}

// A serial that is not letters and digits is read again: on a type-5
// scanner those reads go to the flash pages Close drops after the device is
// gone (ThreadSanitizer sees the two meet).
TEST(FrontThreads, AProductReadRunningIntoCloseMeetsTheDroppedPages) {
  Attach("8899:1003/fps=30");
  PresetProductSerial(0x20800, "VS1003D0-0000000");
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);
  EXPECT_EQ(ProductReadRunningIntoClose(), -101);
}

}  // namespace
