// Opening the capture library in a test on a busy machine.
#pragma once

#include <unistd.h>

#include <chrono>

#include "capture_device.h"
#include "device_state.h"
#include "livescan.h"
#include "result_codes.h"

namespace belnor_test {

// Whether the open library has had its first frame, waiting up to 30 s for
// it: on a busy machine it may come after init's own wait (about 3 s),
// which leaves the library open.
inline bool AwaitFirstFrame() {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    // Nothing closes the library meanwhile, so the device stays installed.
    const belnor::CCaptureDevice *device = belnor::g_pCaptureDevice.load();
    if (device && device->FirstFrame()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    usleep(5000);
  }
}

// LIVESCAN_Init allowing for a busy machine: LS_OK once the library has a
// frame after a time-out, init's own result otherwise.
inline int InitAwaitingFirstFrame() {
  const int r = LIVESCAN_Init();
  return r == belnor::LS_ERR_TIMEOUT && AwaitFirstFrame() ? belnor::LS_OK : r;
}

}  // namespace belnor_test
