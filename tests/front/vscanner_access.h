// Reaching the virtual scanner's control interface from a test process that
// runs on it (LD_LIBRARY_PATH), and reading its wire log.
#pragma once

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "first_frame_wait.h"
#include "livescan.h"
#include "vscanner_control.h"
#include "vscanner_testing.h"

namespace belnor_test {

template <class F>
F LookupVscanner(const char *name) {
  F f = reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
  if (!f) {
    std::fprintf(stderr, "%s: not running on the virtual scanner\n", name);
    std::abort();
  }
  return f;
}

#define VS(fn) ::belnor_test::LookupVscanner<decltype(&fn)>(#fn)

// UVC selectors of the controls the library programs.
enum Pu { kPuBrightness = 0x02, kPuContrast = 0x03, kPuGain = 0x04, kPuSaturation = 0x07,
          kPuGamma = 0x09, kPuWbTemperature = 0x0A, kPuWbAuto = 0x0B };
enum Ct { kCtAeMode = 0x02, kCtExposureAbs = 0x04 };

inline int32_t Control(int unit, int selector, int dev = 0) {
  int32_t v = -12345;
  EXPECT_EQ(VS(vscanner_get_control)(dev, unit, selector, &v), 0) << unit << "/" << selector;
  return v;
}
inline int32_t Pu(int selector) { return Control(VSCANNER_UNIT_PROCESSING, selector); }
inline int32_t Ct(int selector) { return Control(VSCANNER_UNIT_CAMERA, selector); }

inline std::vector<vscanner_wire_entry> WireLog(int dev = 0) {
  std::vector<vscanner_wire_entry> log(size_t(VS(vscanner_wire_count)(dev)));
  for (size_t i = 0; i < log.size(); ++i) VS(vscanner_wire_get)(dev, int(i), &log[i]);
  return log;
}

inline bool IsCommand(const vscanner_wire_entry &e) {
  return e.request_type == 0x21 && e.value == 0x0200 && e.index == 0x0300;
}
inline bool IsFlashReadRequest(const vscanner_wire_entry &e) {
  return e.request_type == 0x21 && e.value == 0x1100 && e.index == 0x0300;
}
// A SET_CUR of a standard control (unit 1 or 2).
inline bool IsControlSet(const vscanner_wire_entry &e, int unit, int selector) {
  return e.request_type == 0x21 && e.request == 0x01 && e.value == (selector << 8) &&
         e.index == (unit << 8);
}

// The vendor commands of the log as opcode and first two payload bytes.
inline std::vector<std::vector<int>> CommandTriples(const std::vector<vscanner_wire_entry> &log) {
  std::vector<std::vector<int>> out;
  for (const auto &e : log)
    if (IsCommand(e)) out.push_back({e.data[0], e.data[1], e.data[2]});
  return out;
}

// Every test starts on the scanner as the program found it, and leaves the
// library closed with the default device chosen.
inline const bool kFreshScannerEachTest = vscanner_testing::ResetBeforeEachTest();
inline const bool kLibraryClosedAfterEachTest = [] {
  class Listener : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo &) override {
      LIVESCAN_Close();
      LIVESCAN_SetActiveDev(-1);
    }
  };
  testing::UnitTest::GetInstance()->listeners().Append(new Listener);
  return true;
}();

// Attaches these devices now (a flash image file for device 0, or none).
inline void Attach(const char *devices, const char *flashFile = nullptr) {
  setenv("VSCANNER_DEVICES", devices, 1);
  if (flashFile)
    setenv("VSCANNER_FLASH", flashFile, 1);
  else
    unsetenv("VSCANNER_FLASH");
  ASSERT_GT(VS(vscanner_reset)(nullptr), 0) << devices;
}

}  // namespace belnor_test
