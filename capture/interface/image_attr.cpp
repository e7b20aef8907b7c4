// Brightness, contrast and the image-attribute set. The camera controls need
// no lock of their own: libuvc control transfers run beside the stream. The
// frame worker steps brightness and contrast through the same setters, so
// g_ImgAttr itself is only touched under a short lock of its own, never
// held over a transfer.
#include "image_attr.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "capture_device.h"
#include "device_state.h"
#include "export_checks.h"
#include "flash_records.h"
#include "image_attr_mapping.h"
#include "livescan.h"
#include "no_throw.h"
#include "result_codes.h"
#include "uvc_camera.h"
#include "vendor_commands.h"

namespace belnor {

namespace {

std::mutex g_AttrLock;  // g_ImgAttr (and g_Settings) in memory
std::atomic<unsigned> g_AttrFlags{0};

template <typename Change>
void WithAttr(Change change) {
  std::lock_guard<std::mutex> hold(g_AttrLock);
  change(g_ImgAttr);
}

// The open device's camera for an attribute call, held for the call, after
// the common checks; code() is the refusal when ok() is false.
class AttrCamera {
 public:
  explicit AttrCamera(int channel) {
    if (!DeviceReady() || !device_) {
      code_ = LS_ERR_NOT_INIT;
    } else if (BadChannel(channel)) {
      code_ = LS_ERR_PARAM;
    }
  }
  bool ok() const { return code_ == LS_OK; }
  int code() const { return code_; }
  CUvcCamera* get() const { return device_->Camera(); }
  CUvcCamera* operator->() const { return get(); }

 private:
  DeviceAccess device_;
  int code_ = LS_OK;
};

// A byte attribute sent through a 16-bit camera control and kept in g_ImgAttr
// when the camera took it.
int SetByteControl(int channel, int value, int lo, int hi,
                   int (CUvcCamera::*set)(uint16_t), uint8_t ImgAttr::*field) {
  AttrCamera camera(channel);
  if (!camera.ok()) return camera.code();
  if (value < lo || value > hi) return LS_ERR_PARAM;
  const int r = MapUvcResult((camera.get()->*set)(uint16_t(value)));
  if (r == LS_OK) WithAttr([&](ImgAttr &a) { a.*field = uint8_t(value); });
  return r;
}

int GetControl(int channel, int* value, int (CUvcCamera::*get)(uint16_t*)) {
  AttrCamera camera(channel);
  if (!camera.ok()) return camera.code();
  uint16_t v = 0;
  const int r = MapUvcResult((camera.get()->*get)(&v));
  if (r == LS_OK) *value = v;
  return r;
}

}  // namespace

int SetGainAttr(int channel, int gain) {
  return SetByteControl(channel, gain, kGainMin, kGainMax, &CUvcCamera::SetGain, &ImgAttr::Gain);
}

int GetGainAttr(int channel, int* gain) { return GetControl(channel, gain, &CUvcCamera::GetGain); }

int SetExposureAttr(int channel, int exposure) {
  AttrCamera camera(channel);
  if (!camera.ok()) return camera.code();
  if (exposure < -10 || exposure > -2) return LS_ERR_PARAM;
  return MapUvcResult(camera->SetExposureAbs(uint32_t(ExposureToAbsolute(exposure))));
}

int GetExposureAttr(int channel, int* exposure) {
  AttrCamera camera(channel);
  if (!camera.ok()) return camera.code();
  uint32_t v = 0;
  const int r = MapUvcResult(camera->GetExposureAbs(&v));
  if (r != LS_OK) return r;
  // An exposure of 0 has no power of two.
  return ExposureFromAbsolute(v, exposure) ? LS_OK : LS_ERR_UNKNOWN;
}

int SetGammaAttr(int channel, int gamma) {
  return SetByteControl(channel, gamma, 0, 255, &CUvcCamera::SetGamma, &ImgAttr::Gamma);
}

int GetGammaAttr(int channel, int* gamma) {
  return GetControl(channel, gamma, &CUvcCamera::GetGamma);
}

namespace {

// Stores g_Settings in flash; the result tells whether it is really there.
int SaveSettings(int channel) {
  if (!HasFlashWritePath(g_nDevType)) return LS_ERR_NOT_IMPLEMENTED;
  uint8_t bytes[kSettingsRecordSize];
  {
    std::lock_guard<std::mutex> hold(g_AttrLock);
    g_Settings.magic = kSettingsMagic;
    g_Settings.version = kSettingsVersion;
    EncodeSettingsRecord(g_Settings, bytes);
  }
  BeginFlashWrite();
  const int written =
      WriteVendorData(channel, bytes, LoadFlashLayout().settingsAddress, sizeof bytes);
  // Type 2 only fills its page shadow here; the commit is the flash write.
  const int committed = CommitFlashWrite();
  return written != LS_OK ? written : committed;
}

// LIVESCAN_SetImgAttr; checkWb false takes any WB (see ApplyStoredImgAttr).
int SetImgAttr(int channel, int bSave, const ImgAttr &attr, bool checkWb) {
  // The device stays while the set is applied and saved.
  AttrCamera camera(channel);
  if (!camera.ok()) return camera.code();
  if (!ExposureInRange(attr.Exposure) || !GainInRange(attr.Gain) ||
      (checkWb && !WhiteBalanceInRange(attr.WB)))
    return LS_ERR_PARAM;
  const int type = g_nDevType;
  // The camera's answers do not stop the set: g_ImgAttr takes it whole.
  if (type == 5) {
    LIVESCAN_SetBright(channel, attr.Bright + 127);
    LIVESCAN_SetContrast(channel, attr.Contrast * 2);
  } else {
    LIVESCAN_SetBright(channel, attr.Bright);
    LIVESCAN_SetContrast(channel, attr.Contrast);
    SetGainAttr(channel, attr.Gain);
  }
  SetExposureAttr(channel, attr.Exposure);
  if (type != 1) SetGammaAttr(channel, attr.Gamma);
  WithAttr([&](ImgAttr &a) { a = attr; });
  PublishAttrFlags(attr);
  if (!bSave) return LS_OK;
  return SaveSettings(channel);
}

}  // namespace

void PublishAttrFlags(const ImgAttr &attr) {
  g_AttrFlags.store((attr.bAutoAdjust ? kAttrAutoAdjust : 0u) |
                    (attr.bClearBk ? kAttrClearBackground : 0u) |
                    (attr.bAutoPos ? kAttrAutoPosition : 0u));
}

unsigned LoadAttrFlags() { return g_AttrFlags.load(std::memory_order_relaxed); }

SettingsRecord LoadSettings() {
  std::lock_guard<std::mutex> hold(g_AttrLock);
  return g_Settings;
}

void StoreSettings(const SettingsRecord &settings) {
  std::lock_guard<std::mutex> hold(g_AttrLock);
  g_Settings = settings;
}

int ApplyStoredImgAttr(const ImgAttr &attr) {
  return FailureOnThrow(LS_ERR_MEMORY, [&] { return SetImgAttr(0, 0, attr, false); });
}

}  // namespace belnor

using namespace belnor;

extern "C" {

int LIVESCAN_SetBright(int channel, int value) {
  AttrCamera camera(channel);
  if (!camera.ok()) return camera.code();
  if (unsigned(value) > 255) return LS_ERR_PARAM;
  const int r =
      MapUvcResult(camera->SetBrightness(int16_t(BrightnessToDevice(g_nDevType, value))));
  if (r != LS_OK) return r;
  WithAttr([&](ImgAttr &a) { a.Bright = uint8_t(value); });
  return LS_OK;
}

int LIVESCAN_SetContrast(int channel, int value) {
  AttrCamera camera(channel);
  if (!camera.ok()) return camera.code();
  if (unsigned(value) > 255) return LS_ERR_PARAM;
  const int sent = ContrastToDevice(g_nDevType, value);
  const int r = MapUvcResult(camera->SetContrast(uint16_t(sent)));
  if (r != LS_OK) return r;
  WithAttr([&](ImgAttr &a) { a.Contrast = uint8_t(sent); });
  return LS_OK;
}

int LIVESCAN_GetBright(int channel, int* value) {
  AttrCamera camera(channel);
  if (!camera.ok()) return camera.code();
  if (!value) return LS_ERR_PARAM;
  int16_t v = 0;
  if (MapUvcResult(camera->GetBrightness(&v)) != LS_OK) return LS_ERR_UNKNOWN;
  *value = BrightnessFromDevice(g_nDevType, v);
  WithAttr([&](ImgAttr &a) { a.Bright = uint8_t(v); });
  return LS_OK;
}

int LIVESCAN_GetContrast(int channel, int* value) {
  AttrCamera camera(channel);
  if (!camera.ok()) return camera.code();
  if (!value) return LS_ERR_PARAM;
  uint16_t v = 0;
  const int r = MapUvcResult(camera->GetContrast(&v));
  if (r != LS_OK) v = 0;
  *value = v;
  if (r == LS_OK) {
    WithAttr([&](ImgAttr &a) { a.Contrast = uint8_t(v); });
    *value = ContrastFromDevice(g_nDevType, v);
  }
  return r;
}

int LIVESCAN_SetImgAttr(int channel, int bSave, ImgAttr attr) {
  return FailureOnThrow(LS_ERR_MEMORY, [&] { return SetImgAttr(channel, bSave, attr, true); });
}

int LIVESCAN_GetImgAttr(int channel, ImgAttr* attr, int bStored) {
  AttrCamera camera(channel);
  if (!camera.ok()) return camera.code();
  if (!attr) return LS_ERR_PARAM;
  if (bStored) {
    SettingsRecord record;
    {
      std::lock_guard<std::mutex> hold(g_AttrLock);
      record = g_Settings;
    }
    const int r = ReadSettingsRecord(channel, &record);
    if (r == LS_OK) *attr = record.attr;
    return r;
  }
  const int type = g_nDevType;
  // A control that cannot be read keeps the value last set.
  ImgAttr current;
  WithAttr([&](ImgAttr &a) { current = a; });
  int bright = current.Bright, contrast = current.Contrast;
  int gain = current.Gain, exposure = current.Exposure, gamma = current.Gamma;
  int b = 0, c = 0;
  if (LIVESCAN_GetBright(channel, &b) == LS_OK) bright = type == 5 ? std::min(b - 127, 127) : b;
  if (LIVESCAN_GetContrast(channel, &c) == LS_OK) contrast = type == 5 ? c / 2 : c;
  GetGainAttr(channel, &gain);
  GetExposureAttr(channel, &exposure);
  if (type == 1) {
    gamma = 0;
  } else {
    GetGammaAttr(channel, &gamma);
  }
  std::lock_guard<std::mutex> hold(g_AttrLock);
  g_Settings.magic = kSettingsMagic;
  g_ImgAttr.Bright = uint8_t(bright);
  g_ImgAttr.Contrast = uint8_t(contrast);
  g_ImgAttr.Gain = uint8_t(gain);
  g_ImgAttr.Exposure = int8_t(exposure);
  g_ImgAttr.Gamma = uint8_t(gamma);
  *attr = g_ImgAttr;
  return LS_OK;
}

}  // extern "C"
