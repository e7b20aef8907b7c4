// CAM_GetProductInfo and LIVESCAN_GetProductInfo, with the process-wide cache.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "capture_device.h"
#include "device_models.h"
#include "device_state.h"
#include "flash_records.h"
#include "livescan.h"
#include "no_throw.h"
#include "product_info.h"
#include "result_codes.h"
#include "variant.h"
#include "vendor_commands.h"

namespace belnor {

namespace {

// The record read at init, kept while it holds a valid serial. Threads
// reading the product information fill it together, and init and Close
// empty it; generation tells a read whether it was emptied meanwhile.
std::mutex g_ProductInfoLock;
ProductInfo g_ProductInfoCache = {};
bool g_ProductInfoValid = false;
unsigned g_ProductInfoGeneration = 0;

constexpr int kSerialReads = 3;

// The active device index a kept probe device was opened for; under
// g_CaptureLock.
int g_ProbeActiveDev = -1;

// Opens the scanner init would open, as a temporary g_pCaptureDevice, and
// selects its model. false when none could be opened. A probe device kept
// from an earlier call for the same active device is used again rather than
// replaced: a second open of the scanner beside it would fail.
bool OpenTemporaryDevice() {
  const int index = g_nActiveDev;
  if (g_pCaptureDevice.load() && g_DeviceString[0] && g_ProbeActiveDev == index) return true;
  ReplaceCaptureDevice(new CCaptureDevice());
  g_DeviceString[0] = '\0';
  DeviceAccess device;
  int counts[kDeviceModelCount];
  CountAttached(*device.get(), counts);
  DeviceChoice choice{};
  if (!ChooseDevice(counts, index, &choice)) return false;
  const char* deviceString = DeviceModelTable[choice.row].deviceString;
  if (!device->OpenDevice(choice.inRow, deviceString)) return false;
  std::snprintf(g_DeviceString, sizeof g_DeviceString, "%s", deviceString);
  SelectDeviceModel(deviceString);
  g_ProbeActiveDev = index;
  return true;
}

void CloseTemporaryDevice() {
  ReplaceCaptureDevice(nullptr);
  g_DeviceString[0] = '\0';
}

// Up to three reads until the serial is letters and digits.
bool ReadProductInfo(ProductInfo* info) {
  bool valid = false;
  for (int attempt = 0; attempt < kSerialReads && !valid; ++attempt) {
    uint8_t bytes[kProductInfoSize];
    EncodeProductInfo(*info, bytes);
    FlashTransfer(LoadFlashLayout().productInfoAddress, bytes, sizeof bytes, 1);
    DecodeProductInfo(bytes, sizeof bytes, info);
    std::printf("serial: %.16s\n", info->Serial);
    valid = HasValidSerial(*info);
  }
  return valid;
}

// CAM_GetProductInfo.
int GetProductInfo(ProductInfo* info) {
  if (!info) return 0;
  {
    std::lock_guard<std::mutex> hold(g_ProductInfoLock);
    if (g_ProductInfoValid) {
      *info = g_ProductInfoCache;
      return 1;
    }
  }
  std::memset(info, 0, sizeof *info);

  // Before init the scanner is opened just for this read. The capture lock
  // keeps an init on another thread from meeting the temporary device.
  std::unique_lock<FairLock> capture(g_CaptureLock, std::defer_lock);
  bool temporary = false;
  if (!DeviceReady()) {
    capture.lock();
    if (!DeviceReady()) {
      temporary = true;
      OpenTemporaryDevice();
    } else {
      capture.unlock();
    }
  }

  // Taken once the scanner to read is settled (opening the probe device
  // empties the cache): a Close, an init or a change of the active device
  // from here on empties it again, and this read then no longer answers.
  unsigned generation;
  {
    std::lock_guard<std::mutex> hold(g_ProductInfoLock);
    generation = g_ProductInfoGeneration;
  }
  const bool valid = ReadProductInfo(info);
  {
    std::lock_guard<std::mutex> hold(g_ProductInfoLock);
    if (g_ProductInfoGeneration == generation) {
      g_ProductInfoCache = *info;
      g_ProductInfoValid = valid;
    }
  }

  if (temporary && !VariantKeepsProbeDevice()) CloseTemporaryDevice();
  return valid ? 1 : 0;
}

}  // namespace

void ResetProductInfoCache() {
  std::lock_guard<std::mutex> hold(g_ProductInfoLock);
  std::memset(&g_ProductInfoCache, 0, sizeof g_ProductInfoCache);
  g_ProductInfoValid = false;
  ++g_ProductInfoGeneration;
}

}  // namespace belnor

using namespace belnor;

extern "C" int CAM_GetProductInfo(ProductInfo* info, int) {
  return FailureOnThrow(0, [&] { return GetProductInfo(info); });
}

extern "C" int LIVESCAN_GetProductInfo(int, ProductInfo* info) {
  return CAM_GetProductInfo(info, 1) ? LS_OK : LS_ERR_UNKNOWN;
}
