#include "host_window.h"

#include <dlfcn.h>

namespace vscanner {

CaptureWindowFn FindHostCaptureWindow() {
    // Looked up from here, RTLD_DEFAULT also searches the group that loaded
    // this library: a capture library loaded with RTLD_LOCAL (as QLibrary
    // does) that brought libusb in with it.
    return reinterpret_cast<CaptureWindowFn>(dlsym(RTLD_DEFAULT, "LIVESCAN_GetCaptWindow"));
}

} // namespace vscanner
