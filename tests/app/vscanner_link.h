// The virtual scanner's control functions for tests that reach it only
// through the capture library scanbench loads.
#pragma once

#include <dlfcn.h>

#include "vscanner_control.h"
#include "vscanner_testing.h"

namespace scanbench_test {

struct VScannerLink {
  // The replacement libusb, made global so that its controls resolve.
  void *handle = dlopen("libusb-1.0.so.0", RTLD_NOW | RTLD_GLOBAL);
  decltype(&vscanner_reset) reset = VSCANNER_LOOKUP(vscanner_reset);
  decltype(&vscanner_open_count) openCount = VSCANNER_LOOKUP(vscanner_open_count);
  decltype(&vscanner_open_handles) openHandles = VSCANNER_LOOKUP(vscanner_open_handles);
  decltype(&vscanner_is_streaming) isStreaming = VSCANNER_LOOKUP(vscanner_is_streaming);
  decltype(&vscanner_get_register) getRegister = VSCANNER_LOOKUP(vscanner_get_register);
  decltype(&vscanner_set_scene) setScene = VSCANNER_LOOKUP(vscanner_set_scene);
  decltype(&vscanner_set_fault) setFault = VSCANNER_LOOKUP(vscanner_set_fault);
  decltype(&vscanner_frames_sent) framesSent = VSCANNER_LOOKUP(vscanner_frames_sent);

  bool Loaded() const {
    return handle && reset && openCount && openHandles && isStreaming && getRegister && setScene &&
           setFault && framesSent;
  }
};

}  // namespace scanbench_test
