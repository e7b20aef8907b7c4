// One attached scanner: opens it through CUvcCamera, converts each frame to
// grey on libuvc's callback thread, and runs a worker thread that inverts,
// flips and mirrors the frame, calls the processing callback and fills the
// waiting frame requests.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "frame_handoff.h"
#include "frame_request_slots.h"
#include "uvc_camera.h"

namespace belnor {

// int callback(frame, frameWidth, frameHeight, out, &outWidth, &outHeight);
// an output size of 0 drops the frame.
using ProcessCallback = int (*)(const uint8_t*, int, int, uint8_t*, int*, int*);

class CCaptureDevice {
 public:
  CCaptureDevice();
  ~CCaptureDevice();
  CCaptureDevice(const CCaptureDevice&) = delete;
  CCaptureDevice& operator=(const CCaptureDevice&) = delete;

  // Attached devices whose "vid_%04x&pid_%04x" equals deviceString (any case;
  // null or empty counts all). 0 when the list cannot be read.
  int CountDevices(const char* deviceString);
  // Opens the (index + 1)-th match (index -1 = the first). 1 opened or
  // already open, 0 not found or open failed.
  int OpenDevice(int index, const char* deviceString);

  // Opens the device, allocates the frame buffers and starts the worker.
  // 0, -2 (negative size) or -4 (not opened). Streaming is not started.
  // Throws when the buffers or the thread cannot be had.
  int Start(int index, const char* deviceString, int width, int height, int format);
  int StartStreaming();
  int StopStreaming();
  // Ends the worker thread (Stop does it too).
  void StopWorker();
  // Worker ended, handle closed, buffers freed.
  int Stop();

  void SetProcessCallback(ProcessCallback callback) { processCallback_.store(callback); }

  // Parks buffer and waits up to 3 s for the next processed frame. 0 when
  // delivered, the frame's byte size when capacity is smaller (nothing is
  // written then), -6 no free slot, -7 no frame. The optional outputs give
  // the delivered frame's size.
  int GetFrame(uint8_t* buffer, int capacity, int* width = nullptr, int* height = nullptr);
  // Ends the waiting GetFrame calls and makes later ones fail at once (-7):
  // Close calls it before it waits for its turn at the capture lock.
  void CancelFrameRequests() { slots_.Cancel(); }

  // Output flags, set by init before streaming.
  void SetMirror(int on) { mirror_.store(on); }
  void SetVerticalFlip(int on) { verticalFlip_.store(on); }
  void SetInvert(int on) { invert_.store(on); }

  int FirstFrame() const { return firstFrame_.load(); }
  int LastUvcError() const { return lastUvcError_.load(); }
  int LastProcessResult() const { return lastProcessResult_.load(); }

  CUvcCamera* Camera() { return camera_; }

  // libuvc frame callback; user is the device.
  static void OnUvcFrame(uvc_frame_t* frame, void* user);

 private:
  // Calls visit(device, vendor, product) for each listed device whose
  // descriptor reads, until it returns false.
  template <typename Visit>
  void WalkDevices(Visit visit);
  void HandleFrame(const uvc_frame_t* frame);
  void WorkerThread();

  std::thread workerThread_;
  FrameHandoff handoff_;
  std::vector<uint8_t> workBuffer_;  // worker only
  std::vector<uint8_t> outBuffer_;   // the processing callback's output, worker only
  FrameRequestSlots slots_;

  uvc_device_t* openDevice_ = nullptr;
  bool running_ = false;
  int frameWidth_ = 0;
  int frameHeight_ = 0;
  int streamFormat_ = 0;
  std::atomic<int> lastUvcError_{0};
  std::atomic<ProcessCallback> processCallback_{nullptr};
  std::atomic<int> mirror_{0};
  std::atomic<int> verticalFlip_{0};
  std::atomic<int> invert_{0};
  std::atomic<int> firstFrame_{0};
  std::atomic<int> lastProcessResult_{0};
  CUvcCamera* camera_;
};

}  // namespace belnor
