#include "uvc_camera.h"

#include <libusb.h>

#include <cstdio>

#include "result_codes.h"

namespace belnor {

int MapUvcResult(int uvcResult) {
  // libuvc results -12..0.
  static const int kTable[13] = {
      LS_ERR_NOT_IMPLEMENTED,  // -12 not supported
      LS_ERR_MEMORY,           // -11 no memory
      LS_ERR_UNKNOWN,          // -10 interrupted
      LS_ERR_UNKNOWN,          // -9 pipe
      LS_ERR_UNKNOWN,          // -8 overflow
      LS_ERR_UNKNOWN,          // -7 timeout
      LS_ERR_UNKNOWN,          // -6 busy
      LS_ERR_UNKNOWN,          // -5 not found
      LS_ERR_NOT_INIT,         // -4 no device
      LS_ERR_UNKNOWN,          // -3 access
      LS_ERR_PARAM,            // -2 invalid parameter
      LS_ERR_UNKNOWN,          // -1 I/O
      LS_OK,                   // 0
  };
  if (uvcResult < -12 || uvcResult > 0) return LS_ERR_UNKNOWN;
  return kTable[uvcResult + 12];
}

CUvcCamera::CUvcCamera() {
  if (uvc_init(&context_, nullptr) != UVC_SUCCESS) context_ = nullptr;
}

CUvcCamera::~CUvcCamera() {
  Close();
  if (context_) uvc_exit(context_);
}

void CUvcCamera::Close() {
  if (handle_) {
    uvc_close(handle_);
    handle_ = nullptr;
  }
}

int CUvcCamera::GetDeviceList(uvc_device_t*** list) {
  if (!context_) return kNoContext;
  return uvc_get_device_list(context_, list);
}

void CUvcCamera::FreeDeviceList(uvc_device_t** list, int unref) {
  uvc_free_device_list(list, static_cast<uint8_t>(unref));
}

int CUvcCamera::GetDeviceDescriptor(uvc_device_t* device, uvc_device_descriptor_t** descriptor) {
  return uvc_get_device_descriptor(device, descriptor);
}

void CUvcCamera::FreeDeviceDescriptor(uvc_device_descriptor_t* descriptor) {
  uvc_free_device_descriptor(descriptor);
}

int CUvcCamera::Open(uvc_device_t* device) {
  uvc_device_handle_t* opened = nullptr;
  int r = uvc_open(device, &opened);
  if (r == UVC_SUCCESS) handle_ = opened;
  return r;
}

int CUvcCamera::GetStreamCtrlFormatSize(uvc_stream_ctrl_t* ctrl, int format, int width, int height,
                                        int fps) {
  if (!handle_) return kNoHandle;
  return uvc_get_stream_ctrl_format_size(handle_, ctrl, static_cast<uvc_frame_format>(format),
                                         width, height, fps);
}

int CUvcCamera::StartStreaming(uvc_stream_ctrl_t* ctrl, uvc_frame_callback_t* callback,
                               void* user) {
  if (!handle_) return kNoHandle;
  return uvc_start_streaming(handle_, ctrl, callback, user, 0);
}

int CUvcCamera::StopStreaming() {
  if (!handle_) return kNoHandle;
  uvc_stop_streaming(handle_);
  return 0;
}

int CUvcCamera::GetBrightness(int16_t* value) {
  if (!handle_) return kNoHandle;
  return uvc_get_brightness(handle_, value, UVC_GET_CUR);
}

int CUvcCamera::SetBrightness(int16_t value) {
  if (!handle_) return kNoHandle;
  return uvc_set_brightness(handle_, value);
}

int CUvcCamera::GetContrast(uint16_t* value) {
  if (!handle_) return kNoHandle;
  return uvc_get_contrast(handle_, value, UVC_GET_CUR);
}

int CUvcCamera::SetContrast(uint16_t value) {
  if (!handle_) return kNoHandle;
  return uvc_set_contrast(handle_, value);
}

int CUvcCamera::GetGain(uint16_t* value) {
  if (!handle_) return kNoHandle;
  return uvc_get_gain(handle_, value, UVC_GET_CUR);
}

int CUvcCamera::SetGain(uint16_t value) {
  if (!handle_) return kNoHandle;
  return uvc_set_gain(handle_, value);
}

int CUvcCamera::SetSaturation(uint16_t value) {
  if (!handle_) return kNoHandle;
  return uvc_set_saturation(handle_, value);
}

int CUvcCamera::GetGamma(uint16_t* value) {
  if (!handle_) return kNoHandle;
  return uvc_get_gamma(handle_, value, UVC_GET_CUR);
}

int CUvcCamera::SetGamma(uint16_t value) {
  if (!handle_) return kNoHandle;
  return uvc_set_gamma(handle_, value);
}

int CUvcCamera::SetWhiteBalanceTemperature(uint16_t kelvin) {
  if (!handle_) return kNoHandle;
  return uvc_set_white_balance_temperature(handle_, kelvin);
}

int CUvcCamera::SetWhiteBalanceTemperatureAuto(uint8_t automatic) {
  if (!handle_) return kNoHandle;
  return uvc_set_white_balance_temperature_auto(handle_, automatic);
}

int CUvcCamera::SetAeMode(uint8_t mode) {
  if (!handle_) return kNoHandle;
  return uvc_set_ae_mode(handle_, mode);
}

int CUvcCamera::GetExposureAbs(uint32_t* time) {
  if (!handle_) return kNoHandle;
  return uvc_get_exposure_abs(handle_, time, UVC_GET_CUR);
}

int CUvcCamera::SetExposureAbs(uint32_t time) {
  if (!handle_) return kNoHandle;
  return uvc_set_exposure_abs(handle_, time);
}

int CUvcCamera::ControlTransfer(int requestType, unsigned request, unsigned value, unsigned index,
                                unsigned char* data, int length, int timeoutMs) {
  libusb_device_handle* usb = handle_ ? uvc_get_libusb_handle(handle_) : nullptr;
  if (!usb) {
    std::printf("get_libusb_handle() return NULL\n");
    return 0;
  }
  return libusb_control_transfer(usb, static_cast<uint8_t>(requestType),
                                 static_cast<uint8_t>(request & 0xFF),
                                 static_cast<uint16_t>(value & 0xFFFF),
                                 static_cast<uint16_t>(index & 0xFFFF), data,
                                 static_cast<uint16_t>(length), static_cast<unsigned>(timeoutMs));
}

}  // namespace belnor
