// Init, close and frame fetch of the capture interface.
#include <cstdint>
#include <cstring>
#include <mutex>

#include "calibration.h"
#include "capture_device.h"
#include "device_models.h"
#include "device_state.h"
#include "export_checks.h"
#include "flash_records.h"
#include "frame_pipeline.h"
#include "image_attr.h"
#include "image_attr_mapping.h"
#include "livescan.h"
#include "no_throw.h"
#include "result_codes.h"
#include "tick.h"
#include "variant.h"
#include "vendor_commands.h"

namespace belnor {

namespace {

constexpr uint32_t kFirstFrameWaitMs = 2999;
constexpr uint32_t kFetchRetryMs = 1999;

// White balance, gain and exposure from the stored settings (types 1 and 2).
void ProgramCamera(CUvcCamera& camera, const SettingsRecord& settings) {
  const ImgAttr& attr = settings.attr;
  const unsigned wb = attr.WB;
  camera.SetWhiteBalanceTemperatureAuto(wb == 0 ? 1 : 0);
  camera.SetWhiteBalanceTemperature(static_cast<uint16_t>(wb == 0 ? 4650 : wb));
  camera.SetGain(attr.Gain);
  camera.SetAeMode(4);
  camera.SetExposureAbs(static_cast<uint32_t>(ExposureToAbsolute(attr.Exposure)));
}

// Close with g_CaptureLock held.
void CloseLocked() {
  if (g_pCaptureDevice.load()) {
    // A pending write that cannot be finished for want of memory is lost,
    // as a failed one is; the scanner is released all the same.
    FailureOnThrow(0, [] {
      EndFlashWrite();
      return 0;
    });
    // Init's own failure exits come here before the library was marked
    // initialised; the scanner is switched off all the same.
    const bool wasStarted = (g_bInitialized.exchange(0) != 0) | DeviceReady();
    g_pCaptureDevice.load()->SetProcessCallback(nullptr);
    if (wasStarted) {
      SetLedMode(0);
      SetSensorMode(0);
    }
    ReplaceCaptureDevice(nullptr);
  }
  // The worker has ended: nothing runs the pipeline any more.
  StopFramePipeline();
  FreeRemapMaps();
  g_bInitialized = 0;
  ResetFlashPageCache();
  ResetProductInfoCache();
}

// 1 once the device has sent a frame, -107 after about 3 s without one.
int WaitForFirstFrame(const CCaptureDevice& device) {
  const uint32_t t0 = GetTickMs();
  for (;;) {
    SleepMs(1);
    if (device.FirstFrame()) return LS_OK;
    if (GetTickMs() - t0 > kFirstFrameWaitMs) return LS_ERR_TIMEOUT;
  }
}

// Init with g_CaptureLock held. The library is marked initialised only at
// the end, so other threads never meet the device half-started.
int InitLocked(int index) {
  ResetFlashWrite();
  // Also empties the caches read through the device it replaces: a probe
  // device kept from a product read may be another scanner.
  ReplaceCaptureDevice(new CCaptureDevice());
  CCaptureDevice* device = g_pCaptureDevice.load();

  int counts[kDeviceModelCount];
  CountAttached(*device, counts);
  DeviceChoice choice{};
  if (!ChooseDevice(counts, index, &choice)) {
    CloseLocked();
    return LS_ERR_NO_DEVICE;
  }
  const char* deviceString = DeviceModelTable[choice.row].deviceString;
  SelectDeviceModel(deviceString);

  const int started = device->Start(choice.inRow, deviceString, g_SensorWidth, g_SensorHeight, 0);
  const int type = g_nDevType;
  device->SetMirror(0);
  device->SetVerticalFlip(type == 5);
  device->SetInvert(type == 2 || type == 5);
  // Remembered in the numbering init takes, so that Init reopens this device.
  g_nActiveDev = InitIndexOf(counts, choice);

  if (started != 0) {
    const int code = device->LastUvcError() == UVC_ERROR_ACCESS ? LS_ERR_ACCESS : LS_ERR_NO_DEVICE;
    SetSensorMode(0);
    SetLedMode(0);
    CloseLocked();
    return code;
  }

  // From here this thread's calls may use the device.
  const StartingDevice starting;
  device->StopStreaming();

  // Fills the cache; its result does not change the outcome of init.
  ResetProductInfoCache();
  ProductInfo info;
  CAM_GetProductInfo(&info, 0);

  if (LoadGeometricCalibration() != 1) {
    CloseLocked();
    return LS_ERR_ACCESS;
  }
  SetSensorMode(1);
  SettingsRecord settings = LoadSettings();
  ReadSettingsRecord(0, &settings);
  StoreSettings(settings);
  PublishAttrFlags(settings.attr);
  if (settings.magic == kSettingsMagic && (type == 1 || type == 2))
    ProgramCamera(*device->Camera(), settings);
  VariantAfterCameraProgrammed();

  SetLedMode(1);
  device->StartStreaming();
  ApplyStoredImgAttr(settings.attr);
  StartFramePipeline();
  device->SetProcessCallback(ProcessFrameCallback);

  const int result = WaitForFirstFrame(*device);
  // Also after the time-out: the library stays open and frames may come.
  g_bInitialized = 1;
  return result;
}

// Closes called and not yet done. Fetches give up (-5) rather than take
// their turn or ask for another frame.
std::atomic<int> g_ClosesPending{0};

bool CloseCalled() { return g_ClosesPending.load() != 0; }

// Outcome of the last init, and how many have run: an init that waited for
// another one answers with that one's outcome. Both under g_CaptureLock.
int g_LastInitResult = LS_ERR_NO_DEVICE;
std::atomic<unsigned> g_InitsRun{0};

// A host may exit, or unload the library, without Close: then the worker
// must be stopped and joined before the statics it uses (the pipeline, the
// maps) are destroyed.
struct CloseAtExit {
  ~CloseAtExit() { LIVESCAN_Close(); }
};

void CloseAtExitOnce() {
  // Made at the first init, after the library's other statics: destroyed
  // before them, at exit and at unload alike (it belongs to this library).
  static CloseAtExit closer;
}

}  // namespace

int InitCaptureDevice(int index) {
  CloseAtExitOnce();
  const unsigned seen = g_InitsRun.load();
  std::lock_guard<FairLock> lock(g_CaptureLock);
  // An init that ran while this one waited for the lock was this request's.
  if (g_InitsRun.load() != seen) return g_LastInitResult;
  if (g_bInitialized) return LS_OK;
  int result;
  try {
    result = InitLocked(index);
  } catch (...) {
    // Out of memory (or no thread) while starting: nothing stays open.
    CloseLocked();
    result = LS_ERR_MEMORY;
  }
  g_LastInitResult = result;
  g_InitsRun.fetch_add(1);
  return result;
}

int FetchWindowFrame(int channel, FrameTarget target, WindowSnapshot* window) {
  if (BadChannel(channel)) return LS_ERR_PARAM;
  if (!g_bInitialized || !g_pCaptureDevice.load() || CloseCalled()) return LS_ERR_NOT_INIT;
  const uint32_t t0 = GetTickMs();
  std::lock_guard<FairLock> lock(g_CaptureLock);
  // Close may have run, or been called, while this call waited for its turn.
  CCaptureDevice* device = g_pCaptureDevice.load();
  if (!g_bInitialized || !device || CloseCalled()) return LS_ERR_NOT_INIT;
  // The window cannot change while the lock is held.
  const WindowSnapshot w = LoadCaptureWindow();
  uint8_t* raw = nullptr;
  const int chosen = target.choose(target.context, w, &raw);
  if (chosen != LS_OK) return chosen;
  if (window) *window = w;
  do {
    int frameWidth = 0;
    int frameHeight = 0;
    const int r = device->GetFrame(raw, w.width * w.height, &frameWidth, &frameHeight);
    // Only a frame of the window's shape is one the caller can read.
    if (r == 0 && frameWidth == w.width && frameHeight == w.height) return LS_OK;
    if (CloseCalled()) return LS_ERR_NOT_INIT;
    SleepMs(1);
  } while (GetTickMs() - t0 <= kFetchRetryMs);
  return LS_ERR_UNKNOWN;
}

int FetchWindowFrame(int channel, std::vector<uint8_t>* frame, WindowSnapshot* window) {
  auto sized = [frame](const WindowSnapshot& w, uint8_t** buffer) {
    frame->resize(FrameBytes(w));
    *buffer = frame->data();
    return LS_OK;
  };
  return FetchWindowFrame(channel, MakeFrameTarget(sized), window);
}

}  // namespace belnor

using namespace belnor;

extern "C" {

LIVESCAN_API int LIVESCAN_Init(void) { return LIVESCAN_InitEx(g_nActiveDev); }

// The reduced build's window is set by init, under the capture lock: set
// after the lock is let go, it would answer -5 whenever a Close came first.
LIVESCAN_API int LIVESCAN_InitEx(int index) {
  if (g_bInitialized) return LS_OK;
  return InitCaptureDevice(index);
}

LIVESCAN_API int LIVESCAN_Close(void) {
  g_ClosesPending.fetch_add(1);
  {
    // The fetch holding the capture lock stops waiting for its frame.
    DeviceAccess device;
    if (device) device->CancelFrameRequests();
  }
  std::lock_guard<FairLock> lock(g_CaptureLock);
  CloseLocked();
  // Still under the lock: whatever comes after Close sees none pending.
  g_ClosesPending.fetch_sub(1);
  return LS_OK;
}

LIVESCAN_API int LIVESCAN_GetDevCount(void) {
  return FailureOnThrow(0, [] {
    // A private object: counting never touches the open device.
    CCaptureDevice counter;
    int counts[kDeviceModelCount];
    CountAttached(counter, counts);
    int total = 0;
    for (int n : counts) total += n;
    return total;
  });
}

LIVESCAN_API int LIVESCAN_SetActiveDev(int index) {
  if (index < -1 || index > 8) return LS_ERR_PARAM;
  if (g_bInitialized) return LS_ERR_NO_AUTH;
  g_nActiveDev = index;
  // The record read before init may be another scanner's.
  ResetProductInfoCache();
  return LS_OK;
}

LIVESCAN_API int LIVESCAN_BeginCapture(int channel) {
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  if (BadChannel(channel)) return LS_ERR_PARAM;
  return LS_OK;
}

LIVESCAN_API int LIVESCAN_EndCapture(int channel) {
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  if (BadChannel(channel)) return LS_ERR_PARAM;
  return LS_OK;
}

LIVESCAN_API int LIVESCAN_GetFPRawData(int channel, unsigned char* raw) {
  if (!raw) return LS_ERR_PARAM;
  // The host sized raw for the window in force at its call; a window set by
  // another thread before this fetch's turn may need more.
  const size_t capacity = FrameBytes(LoadCaptureWindow());
  auto callers = [raw, capacity](const WindowSnapshot& w, uint8_t** buffer) {
    if (FrameBytes(w) > capacity) return LS_ERR_UNKNOWN;
    *buffer = raw;
    return LS_OK;
  };
  return FetchWindowFrame(channel, MakeFrameTarget(callers), nullptr);
}

}  // extern "C"
