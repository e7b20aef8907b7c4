#include "capture_device.h"

#include <strings.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "frame_convert.h"

namespace belnor {

namespace {

constexpr int kFrameWaitMs = 3000;
// Longest the worker sleeps between looks at the stop flag.
constexpr auto kWorkerWait = std::chrono::milliseconds(10);

bool MatchesDevice(const char* text, const char* deviceString) {
  return !deviceString || !*deviceString || strcasecmp(text, deviceString) == 0;
}

}  // namespace

CCaptureDevice::CCaptureDevice() : camera_(new CUvcCamera()) {}

CCaptureDevice::~CCaptureDevice() {
  if (running_) Stop();
  StopWorker();
  delete camera_;
}

template <typename Visit>
void CCaptureDevice::WalkDevices(Visit visit) {
  uvc_device_t** list = nullptr;
  int r = camera_->GetDeviceList(&list);
  lastUvcError_ = r;
  if (r != UVC_SUCCESS || !list) return;
  for (int i = 0; list[i]; ++i) {
    uvc_device_descriptor_t* descriptor = nullptr;
    r = camera_->GetDeviceDescriptor(list[i], &descriptor);
    lastUvcError_ = r;
    if (r != UVC_SUCCESS || !descriptor) continue;  // unreadable devices are skipped
    const uint16_t vendor = descriptor->idVendor;
    const uint16_t product = descriptor->idProduct;
    camera_->FreeDeviceDescriptor(descriptor);
    if (!visit(list[i], vendor, product)) break;
  }
  camera_->FreeDeviceList(list, 1);
}

int CCaptureDevice::CountDevices(const char* deviceString) {
  int count = 0;
  WalkDevices([&](uvc_device_t*, uint16_t vendor, uint16_t product) {
    char text[24];
    std::snprintf(text, sizeof text, "vid_%04x&pid_%04x", vendor, product);
    if (MatchesDevice(text, deviceString)) ++count;
    return true;
  });
  return count;
}

int CCaptureDevice::OpenDevice(int index, const char* deviceString) {
  if (openDevice_) return 1;
  const int target = index < 0 ? 0 : index;
  int matches = 0;
  int opened = 0;
  WalkDevices([&](uvc_device_t* device, uint16_t vendor, uint16_t product) {
    char text[24];
    std::snprintf(text, sizeof text, "VID_%04X&PID_%04X", vendor, product);
    if (!MatchesDevice(text, deviceString) || matches++ != target) return true;
    const int r = camera_->Open(device);
    lastUvcError_ = r;
    if (r == UVC_SUCCESS) {
      openDevice_ = device;  // the open handle keeps its reference
      opened = 1;
    }
    return false;
  });
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
  handoff_.Reset(pixels);
  workBuffer_.assign(pixels, 0);
  // The processing callback's output: room for any window up to the sensor.
  outBuffer_.assign(static_cast<size_t>(width + 3) * static_cast<size_t>(height) * 3, 0);
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
  handoff_.RequestStop();
  if (workerThread_.joinable()) workerThread_.join();
}

int CCaptureDevice::Stop() {
  StopWorker();
  camera_->Close();  // also ends streaming and libuvc's callback thread
  handoff_.Release();
  workBuffer_ = {};
  outBuffer_ = {};
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
      frame->height != static_cast<uint32_t>(frameHeight_))
    return;
  uint8_t* grey = handoff_.ProducerBuffer();
  if (!grey) return;
  const uint8_t* data = static_cast<const uint8_t*>(frame->data);
  bool converted = false;
  switch (frame->frame_format) {
    case UVC_FRAME_FORMAT_YUYV:
      converted = YuyvToGrey(data, frame->data_bytes, frameWidth_, frameHeight_, grey);
      break;
    case UVC_FRAME_FORMAT_MJPEG:
      // Decoded rows arrive bottom-up relative to the YUYV stream.
      converted = MjpegToGrey(data, frame->data_bytes, frameWidth_, frameHeight_, grey, true);
      break;
    default:
      return;
  }
  if (converted) handoff_.Publish();
}

void CCaptureDevice::WorkerThread() {
  const int width = frameWidth_;
  const int height = frameHeight_;
  std::vector<uint8_t>& scratch = outBuffer_;
  while (!handoff_.StopRequested()) {
    if (!handoff_.Take(workBuffer_, kWorkerWait)) continue;
    uint8_t* image = workBuffer_.data();
    InvertAndFlip(image, width, height, invert_.load() != 0, verticalFlip_.load() != 0);
    if (mirror_.load()) MirrorRows(image, width, height);
    if (handoff_.StopRequested()) break;

    const ProcessCallback callback = processCallback_.load();
    if (!callback) {
      slots_.Deliver(image, width, height);
      continue;
    }
    int outWidth = 0;
    int outHeight = 0;
    lastProcessResult_ = callback(image, width, height, scratch.data(), &outWidth, &outHeight);
    if (handoff_.StopRequested()) break;
    // A size the output buffer cannot hold is never handed out, nor an empty
    // frame (the callback dropped it).
    if (outWidth <= 0 || outHeight <= 0 ||
        static_cast<size_t>(outWidth) * static_cast<size_t>(outHeight) > scratch.size())
      continue;
    slots_.Deliver(scratch.data(), outWidth, outHeight);
  }
}

int CCaptureDevice::GetFrame(uint8_t* buffer, int capacity, int* width, int* height) {
  return slots_.Request(buffer, capacity, width, height, kFrameWaitMs);
}

}  // namespace belnor
