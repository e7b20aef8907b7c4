// Process-wide state of the device spine (one scanner per process), its two
// locks and the guard that keeps the device object alive while it is used.
//
// Lock order: g_CaptureLock, then the device guard (DeviceAccess), then
// g_CommandLock. Never take g_CaptureLock while holding a DeviceAccess:
// Close holds the capture lock while it waits for the guard.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstddef>
#include <mutex>
#include <vector>

#include "fair_lock.h"
#include "flash_records.h"
#include "livescan.h"

namespace belnor {

class CCaptureDevice;

// Addresses of the records in the scanner's flash.
struct FlashLayout {
  uint32_t vendorBase;
  uint32_t vendorSize;  // upper address bound of the vendor area
  uint32_t settingsAddress;
  uint32_t firmwareAddress;
  uint32_t productInfoAddress;
  uint32_t calibrationAddress;
  uint32_t userStart;
  uint32_t userSize;
};

// The layout every type starts from.
FlashLayout DefaultFlashLayout();

// 1 from the end of an init that started the device (also one that gave up
// waiting for the first frame) until Close. Exports test it, so none of them
// meets a device that init is still starting.
extern std::atomic<int> g_bInitialized;

// Whether the calling thread may use the device: the library is
// initialised, or this thread's init is starting it (holding g_CaptureLock).
bool DeviceReady();

// Marks the calling thread as the one starting the device while it lives.
class StartingDevice {
 public:
  StartingDevice();
  ~StartingDevice();
  StartingDevice(const StartingDevice&) = delete;
  StartingDevice& operator=(const StartingDevice&) = delete;
};

// The one capture device; read it through DeviceAccess.
extern std::atomic<CCaptureDevice*> g_pCaptureDevice;
// DeviceType 1..5 of the selected model.
extern std::atomic<int> g_nDevType;
// Device index that LIVESCAN_Init opens, numbered as LIVESCAN_InitEx numbers.
extern std::atomic<int> g_nActiveDev;
// Selected model's device string.
extern char g_DeviceString[80];

// The sensor frame size.
extern std::atomic<int> g_SensorWidth;
extern std::atomic<int> g_SensorHeight;

// Origin and size of the capture window inside the processed image, read
// and written together.
struct WindowSnapshot {
  int x, y, width, height;
};
// Writers (window setter, model selection) hold g_CaptureLock; readers (the
// frame worker, hosts asking for the window) take no lock, so the four values
// live behind this sequence-checked snapshot and no reader sees half of a
// change.
void StoreCaptureWindow(int x, int y, int width, int height);
WindowSnapshot LoadCaptureWindow();
// Bytes of one frame of the window.
inline size_t FrameBytes(const WindowSnapshot& w) { return size_t(w.width) * size_t(w.height); }

// The flash layout of the selected model. Model selection (at init, or a
// product read before it) writes it while flash calls on other threads read
// it, so it is read and written whole.
FlashLayout LoadFlashLayout();
void StoreFlashLayout(const FlashLayout& layout);

// Settings block as in flash; g_ImgAttr is its attribute part.
extern SettingsRecord g_Settings;
extern ImgAttr& g_ImgAttr;

// Init, close, frame fetch and window change, served in the order asked
// for: a fetch holds it for up to one frame wait, and fetches that call again
// at once must not keep the others out.
extern FairLock g_CaptureLock;
// One vendor command (or flash exchange) at a time.
extern std::mutex g_CommandLock;

// Shared hold on the device object: while one exists on a thread,
// g_pCaptureDevice is not destroyed. Holds nest on one thread. The worker
// thread may hold it too, because the device is only destroyed after its
// worker has stopped.
class DeviceAccess {
 public:
  DeviceAccess();
  ~DeviceAccess();
  DeviceAccess(const DeviceAccess&) = delete;
  DeviceAccess& operator=(const DeviceAccess&) = delete;

  CCaptureDevice* get() const { return device_; }
  CCaptureDevice* operator->() const { return device_; }
  explicit operator bool() const { return device_ != nullptr; }

 private:
  CCaptureDevice* device_;
};

// Opens, configures and starts the scanner chosen by index (the body of
// LIVESCAN_InitEx): 1, -4, -102 or -107. Takes g_CaptureLock.
int InitCaptureDevice(int index);

// Where a fetch puts its frame, chosen in the fetch's turn for the window
// the frame is taken at: choose points *buffer at w.width x w.height bytes
// and returns 1, or returns the error the fetch then answers at once.
struct FrameTarget {
  int (*choose)(void* context, const WindowSnapshot& w, uint8_t** buffer);
  void* context;
};

// For a callable int(const WindowSnapshot&, uint8_t**) that outlives the
// fetch.
template <class Choose>
FrameTarget MakeFrameTarget(Choose& choose) {
  return {+[](void* context, const WindowSnapshot& w, uint8_t** buffer) -> int {
            return (*static_cast<Choose*>(context))(w, buffer);
          },
          &choose};
}

// LIVESCAN_GetFPRawData into the buffer target chooses. window (optional)
// receives the window the frame has.
int FetchWindowFrame(int channel, FrameTarget target, WindowSnapshot* window);

// A frame into frame, sized for the window the fetch finds in its turn.
int FetchWindowFrame(int channel, std::vector<uint8_t>* frame, WindowSnapshot* window);

// Installs next as g_pCaptureDevice (may be null) and destroys the previous
// object: its worker is stopped first, then the exclusive guard is taken.
// Drops the flash pages read through the old object, and the product record
// when next is a new one. Never call it from the worker or with a
// DeviceAccess held on this thread.
void ReplaceCaptureDevice(CCaptureDevice* next);

}  // namespace belnor
