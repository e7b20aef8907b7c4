#include "capture_device.h"

#include <strings.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "frame_convert.h"
#include "tick.h"

namespace belnor {

namespace {

constexpr int kSlotSearchPasses = 300;
constexpr int kFrameWaitSeconds = 3;
// Longest the worker sleeps between looks at the stop flag.
constexpr auto kWorkerWait = std::chrono::milliseconds(10);

bool MatchesDevice(const char* text, const char* deviceString) {
  return !deviceString || !*deviceString || strcasecmp(text, deviceString) == 0;
}

// Inverts and/or turns the frame upside down in place, in one pass.
void InvertAndFlip(uint8_t* image, int width, int height, bool invert, bool flip) {
  const size_t w = static_cast<size_t>(width);
  if (flip) {
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
      uint8_t* a = image + static_cast<size_t>(top) * w;
      uint8_t* b = image + static_cast<size_t>(bottom) * w;
      if (invert) {
        for (size_t x = 0; x < w; ++x) {
          const uint8_t t = a[x];
          a[x] = static_cast<uint8_t>(~b[x]);
          b[x] = static_cast<uint8_t>(~t);
        }
      } else {
        std::swap_ranges(a, a + w, b);
      }
    }
    if (invert && height % 2 == 1) {
      uint8_t* middle = image + static_cast<size_t>(height / 2) * w;
      for (size_t x = 0; x < w; ++x) middle[x] = static_cast<uint8_t>(~middle[x]);
    }
  } else if (invert) {
    const size_t n = w * static_cast<size_t>(height);
    for (size_t i = 0; i < n; ++i) image[i] = static_cast<uint8_t>(~image[i]);
  }
}

void Mirror(uint8_t* image, int width, int height) {
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image + static_cast<size_t>(y) * static_cast<size_t>(width);
    std::reverse(row, row + width);
  }
}

}  // namespace

CCaptureDevice::CCaptureDevice(int param) : param_(param), camera_(new CUvcCamera(param)) {
  for (FrameRequestSlot& slot : slots_) sem_init(&slot.done, 0, 0);
}

CCaptureDevice::~CCaptureDevice() {
  if (running_) Stop();
  StopWorker();
  delete camera_;
  for (FrameRequestSlot& slot : slots_) sem_destroy(&slot.done);
}

int CCaptureDevice::CountDevices(const char* deviceString) {
  uvc_device_t** list = nullptr;
  int r = camera_->GetDeviceList(&list);
  lastUvcError_ = r;
  if (r != UVC_SUCCESS || !list) return 0;
  int count = 0;
  for (int i = 0; list[i]; ++i) {
    uvc_device_descriptor_t* descriptor = nullptr;
    r = camera_->GetDeviceDescriptor(list[i], &descriptor);
    lastUvcError_ = r;
    if (r != UVC_SUCCESS || !descriptor) continue;
    char text[24];
    std::snprintf(text, sizeof text, "vid_%04x&pid_%04x", descriptor->idVendor,
                  descriptor->idProduct);
    camera_->FreeDeviceDescriptor(descriptor);
    if (MatchesDevice(text, deviceString)) ++count;
  }
  camera_->FreeDeviceList(list, 1);
  return count;
}

int CCaptureDevice::OpenDevice(int index, const char* deviceString) {
  if (openDevice_) return 1;
  uvc_device_t** list = nullptr;
  int r = camera_->GetDeviceList(&list);
  lastUvcError_ = r;
  if (r != UVC_SUCCESS || !list) return 0;
  const int target = index < 0 ? 0 : index;
  int matches = 0;
  int opened = 0;
  for (int i = 0; list[i]; ++i) {
    uvc_device_descriptor_t* descriptor = nullptr;
    r = camera_->GetDeviceDescriptor(list[i], &descriptor);
    lastUvcError_ = r;
    if (r != UVC_SUCCESS || !descriptor) continue;
    char text[24];
    std::snprintf(text, sizeof text, "VID_%04X&PID_%04X", descriptor->idVendor,
                  descriptor->idProduct);
    camera_->FreeDeviceDescriptor(descriptor);
    if (!MatchesDevice(text, deviceString)) continue;
    if (matches++ != target) continue;
    r = camera_->Open(list[i]);
    lastUvcError_ = r;
    if (r == UVC_SUCCESS) {
      openDevice_ = list[i];  // the open handle keeps its reference
      opened = 1;
    }
    break;
  }
  camera_->FreeDeviceList(list, 1);
  return opened;
}

int CCaptureDevice::Start(int index, const char* deviceString, int width, int height,
                          int format) {
  if (width < 0 || height < 0) return -2;
  if (running_) return 0;
  if (!OpenDevice(index, deviceString)) return -4;
  frameWidth_ = width;
  frameHeight_ = height;
  streamFormat_ = format;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  greyFrame_.assign(pixels, 0);
  workBuffer_.assign(pixels, 0);
  {
    std::lock_guard<std::mutex> lock(handoffLock_);
    latestFrame_.assign(pixels, 0);
    latestSeq_ = 0;
    stopFlag_ = false;
  }
  workerThread_ = std::thread(&CCaptureDevice::WorkerThread, this);
  running_ = true;
  return 0;
}

int CCaptureDevice::StartStreaming() {
  uvc_stream_ctrl_t ctrl;
  std::memset(&ctrl, 0, sizeof ctrl);
  int r = camera_->GetStreamCtrlFormatSize(&ctrl, streamFormat_, frameWidth_, frameHeight_, 0);
  if (r == UVC_SUCCESS) r = camera_->StartStreaming(&ctrl, &CCaptureDevice::OnUvcFrame, this);
  lastUvcError_ = r;
  return r;
}

int CCaptureDevice::StopStreaming() {
  camera_->StopStreaming();
  return 0;
}

void CCaptureDevice::StopWorker() {
  {
    std::lock_guard<std::mutex> lock(handoffLock_);
    stopFlag_ = true;
  }
  handoffSignal_.notify_all();
  if (workerThread_.joinable()) workerThread_.join();
}

int CCaptureDevice::Stop() {
  StopWorker();
  camera_->Close();  // also ends streaming and libuvc's callback thread
  greyFrame_ = {};
  workBuffer_ = {};
  {
    std::lock_guard<std::mutex> lock(handoffLock_);
    latestFrame_ = {};
  }
  openDevice_ = nullptr;
  running_ = false;
  return 0;
}

void CCaptureDevice::OnUvcFrame(uvc_frame_t* frame, void* user) {
  if (frame && user) static_cast<CCaptureDevice*>(user)->HandleFrame(frame);
}

void CCaptureDevice::HandleFrame(const uvc_frame_t* frame) {
  if (!firstFrame_.load(std::memory_order_relaxed)) firstFrame_.store(1);
  // Only a frame of the negotiated size is converted; anything else would
  // overrun the grey buffers.
  if (!frame->data || frame->width != static_cast<uint32_t>(frameWidth_) ||
      frame->height != static_cast<uint32_t>(frameHeight_) || greyFrame_.empty())
    return;
  const uint8_t* data = static_cast<const uint8_t*>(frame->data);
  bool converted = false;
  switch (frame->frame_format) {
    case UVC_FRAME_FORMAT_YUYV:
      converted = YuyvToGrey(data, frame->data_bytes, frameWidth_, frameHeight_, greyFrame_.data());
      break;
    case UVC_FRAME_FORMAT_MJPEG:
      // Decoded rows arrive bottom-up relative to the YUYV stream.
      converted = MjpegToGrey(data, frame->data_bytes, frameWidth_, frameHeight_,
                              greyFrame_.data(), true);
      break;
    default:
      return;
  }
  if (!converted) return;
  {
    std::lock_guard<std::mutex> lock(handoffLock_);
    latestFrame_.swap(greyFrame_);
    ++latestSeq_;
  }
  handoffSignal_.notify_one();
}

void CCaptureDevice::WorkerThread() {
  const int width = frameWidth_;
  const int height = frameHeight_;
  // Output of the processing callback: room for any window up to the sensor.
  std::vector<uint8_t> scratch(static_cast<size_t>(width + 3) * static_cast<size_t>(height) * 3);
  uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(handoffLock_);
      handoffSignal_.wait_for(lock, kWorkerWait, [&] { return stopFlag_ || latestSeq_ != seen; });
      if (stopFlag_) break;
      if (latestSeq_ == seen) continue;
      seen = latestSeq_;
      // Take the newest frame; the old buffer becomes the next conversion target.
      workBuffer_.swap(latestFrame_);
    }
    uint8_t* image = workBuffer_.data();
    InvertAndFlip(image, width, height, invert_.load() != 0, verticalFlip_.load() != 0);
    if (mirror_.load()) Mirror(image, width, height);

    const ProcessCallback callback = processCallback_.load();
    if (callback) {
      int outWidth = 0;
      int outHeight = 0;
      const int r = callback(image, width, height, scratch.data(), &outWidth, &outHeight);
      lastProcessResult_ = r;
      if (outWidth < 0 || outHeight < 0 ||
          static_cast<size_t>(outWidth) * static_cast<size_t>(outHeight) > scratch.size())
        continue;  // a size the output buffer cannot hold is never handed out
      Deliver(scratch.data(), outWidth, outHeight);
    } else {
      Deliver(image, width, height);
    }
  }
}

void CCaptureDevice::Deliver(const uint8_t* source, int width, int height) {
  const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (FrameRequestSlot& slot : slots_) {
    int expected = FrameRequestSlot::kWaiting;
    if (!slot.state.compare_exchange_strong(expected, FrameRequestSlot::kFilling,
                                            std::memory_order_acq_rel))
      continue;
    slot.width = width;
    slot.height = height;
    slot.copied = size <= static_cast<size_t>(slot.capacity);
    if (slot.copied && size) std::memcpy(slot.buffer, source, size);
    slot.state.store(FrameRequestSlot::kDelivered, std::memory_order_release);
    sem_post(&slot.done);
  }
}

int CCaptureDevice::GetFrame(uint8_t* buffer, int capacity, int* width, int* height) {
  FrameRequestSlot* slot = nullptr;
  for (int pass = 0; pass < kSlotSearchPasses && !slot; ++pass) {
    for (FrameRequestSlot& candidate : slots_) {
      int expected = FrameRequestSlot::kFree;
      if (candidate.state.compare_exchange_strong(expected, FrameRequestSlot::kReserved,
                                                  std::memory_order_acq_rel)) {
        slot = &candidate;
        break;
      }
    }
    if (!slot) SleepMs(1);
  }
  if (!slot) return kNoFreeSlot;

  slot->buffer = buffer;
  slot->capacity = capacity < 0 ? 0 : capacity;
  // A null buffer is never offered to the worker; it only waits out the time.
  if (buffer) slot->state.store(FrameRequestSlot::kWaiting, std::memory_order_release);

  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += kFrameWaitSeconds;
  bool woken = false;
  for (;;) {
    if (sem_clockwait(&slot->done, CLOCK_MONOTONIC, &deadline) == 0) {
      woken = true;
      break;
    }
    if (errno != EINTR) break;
  }
  if (!woken) {
    int expected = FrameRequestSlot::kWaiting;
    if (!buffer || slot->state.compare_exchange_strong(expected, FrameRequestSlot::kFree,
                                                       std::memory_order_acq_rel)) {
      slot->state.store(FrameRequestSlot::kFree, std::memory_order_release);
      return kFrameTimeout;
    }
    // The worker took the request just now; its post is on the way.
    while (sem_wait(&slot->done) != 0 && errno == EINTR) {
    }
  }
  while (slot->state.load(std::memory_order_acquire) != FrameRequestSlot::kDelivered) {
  }
  const int outWidth = slot->width;
  const int outHeight = slot->height;
  const bool copied = slot->copied;
  slot->state.store(FrameRequestSlot::kFree, std::memory_order_release);
  if (width) *width = outWidth;
  if (height) *height = outHeight;
  return copied ? 0 : outWidth * outHeight;
}

}  // namespace belnor
