// Thin wrapper over one libuvc context and at most one open device handle.
// Methods return libuvc's result unchanged (0 = success), -50 without an
// open handle.
#pragma once

#include <libuvc/libuvc.h>

#include <cstdint>

namespace belnor {

constexpr int kNoHandle = -50;
constexpr int kNoContext = -5;

// libuvc result -> LIVESCAN result code.
int MapUvcResult(int uvcResult);

class CUvcCamera {
 public:
  CUvcCamera();
  ~CUvcCamera();
  CUvcCamera(const CUvcCamera&) = delete;
  CUvcCamera& operator=(const CUvcCamera&) = delete;

  bool IsOpen() const { return handle_ != nullptr; }
  void Close();

  // Discovery and opening.
  int GetDeviceList(uvc_device_t*** list);
  void FreeDeviceList(uvc_device_t** list, int unref);
  int GetDeviceDescriptor(uvc_device_t* device, uvc_device_descriptor_t** descriptor);
  void FreeDeviceDescriptor(uvc_device_descriptor_t* descriptor);
  int Open(uvc_device_t* device);

  // Streaming.
  int GetStreamCtrlFormatSize(uvc_stream_ctrl_t* ctrl, int format, int width, int height, int fps);
  int StartStreaming(uvc_stream_ctrl_t* ctrl, uvc_frame_callback_t* callback, void* user);
  int StopStreaming();

  // Standard controls (getters ask for the current value).
  int GetBrightness(int16_t* value);
  int SetBrightness(int16_t value);
  int GetContrast(uint16_t* value);
  int SetContrast(uint16_t value);
  int GetGain(uint16_t* value);
  int SetGain(uint16_t value);
  int SetSaturation(uint16_t value);
  int GetGamma(uint16_t* value);
  int SetGamma(uint16_t value);
  int SetWhiteBalanceTemperature(uint16_t kelvin);
  int SetWhiteBalanceTemperatureAuto(uint8_t automatic);
  int SetAeMode(uint8_t mode);
  int GetExposureAbs(uint32_t* time);
  int SetExposureAbs(uint32_t time);

  // Raw control transfer on the USB handle underneath: bytes transferred or a
  // negative libusb error; 0 (and a printed line) without a handle.
  int ControlTransfer(int requestType, unsigned request, unsigned value, unsigned index,
                      unsigned char* data, int length, int timeoutMs);

 private:
  uvc_context_t* context_ = nullptr;
  uvc_device_handle_t* handle_ = nullptr;
};

}  // namespace belnor
