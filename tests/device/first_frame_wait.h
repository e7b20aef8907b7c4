// Opening the capture library in a test on a busy machine.
#pragma once

#include <unistd.h>

#include <chrono>

#include "capture_device.h"
#include "device_state.h"
#include "livescan.h"
#include "result_codes.h"

namespace belnor_test {

// LIVESCAN_Init allowing for a busy machine: when the scanner's first frame
// comes after init's own wait (about 3 s) the library stays open, and this
// waits up to a minute more for that frame. LS_OK once the library has a
// frame, init's own result otherwise.
inline int InitAwaitingFirstFrame() {
  const int r = LIVESCAN_Init();
  if (r != belnor::LS_ERR_TIMEOUT) return r;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    // Nothing closes the library meanwhile, so the device stays installed.
    const belnor::CCaptureDevice *device = belnor::g_pCaptureDevice.load();
    if (device && device->FirstFrame()) return belnor::LS_OK;
    if (std::chrono::steady_clock::now() > end) return r;
    usleep(5000);
  }
}

}  // namespace belnor_test
