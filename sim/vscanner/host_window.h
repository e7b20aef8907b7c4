// The capture window the host has chosen, as a person at the scanner reads
// it off the screen. The scanner itself is never told: the capture library
// cuts its window out of whole sensor frames. So the virtual operator asks
// the capture library loaded in this process, through its export.
#pragma once

namespace vscanner {

using CaptureWindowFn = int (*)(int channel, int* x, int* y, int* width, int* height);

// The capture library's LIVESCAN_GetCaptWindow, also of one loaded with
// RTLD_LOCAL that loaded this library; null when none is found (none loaded,
// or libusb was loaded apart from it). Call it only while that library
// streams: it stops its stream before it is unloaded.
CaptureWindowFn FindHostCaptureWindow();

} // namespace vscanner
