// The flash of the open scanner: raw and verified transfers by device type,
// the write transaction, ReadVendorData and the settings record.
#include <cstring>
#include <mutex>

#include "device_state.h"
#include "export_checks.h"
#include "flash_protocol.h"
#include "flash_range.h"
#include "flash_records.h"
#include "livescan.h"
#include "no_throw.h"
#include "result_codes.h"
#include "tick.h"
#include "vendor_commands.h"
#include "vendor_link.h"

namespace belnor {

namespace {

Type5PageCache g_Type5Cache;
FlashWriteTransaction g_FlashWrite;

constexpr int kEndFlashWritePolls = 3000;

FlashReadFn RawRead() { return FlashRead; }
FlashWriteFn RawWrite() { return FlashWrite; }

bool PageWriter(uint32_t address, const uint8_t* data, uint32_t length) {
  return VerifiedFlashWrite(RawRead(), RawWrite(), address, data, length);
}

// The vendor-area read without ReadVendorData's wait for an init: callers
// inside the library already hold the device, and taking the capture lock
// then would invert the lock order against Close.
int ReadVendorArea(void* buffer, unsigned address, unsigned length) {
  if (!buffer || !RangeEndsWithin(address, length, LoadFlashLayout().vendorSize)) return LS_ERR_PARAM;
  DeviceAccess device;
  if (!device) return LS_ERR_UNKNOWN;
  return FailureOnThrow(LS_ERR_UNKNOWN, [&] {
    return FlashTransfer(address, buffer, length, 1) ? LS_OK : LS_ERR_UNKNOWN;
  });
}

}  // namespace

uint32_t FlashRead(uint32_t address, uint8_t* buffer, uint32_t length) {
  const int type = g_nDevType;
  if (type != 1 && type != 2 && type != 5) return 0;
  DeviceAccess device;
  std::lock_guard<std::mutex> lock(g_CommandLock);
  const ControlTransferFn transfer = CameraTransfer(device.get());
  if (type == 5) return g_Type5Cache.Read(transfer, address, buffer, length);
  return ChunkedFlashRead(transfer, address, buffer, length);
}

uint32_t FlashWrite(uint32_t address, const uint8_t* data, uint32_t length) {
  const int type = g_nDevType;
  if (type != 1 && type != 2) return 0;
  DeviceAccess device;
  std::lock_guard<std::mutex> lock(g_CommandLock);
  return ChunkedFlashWrite(CameraTransfer(device.get()), address, data, length);
}

int FlashTransfer(uint32_t address, void* buffer, uint32_t length, int read) {
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  if (read) return VerifiedFlashRead(RawRead(), address, bytes, length) ? 1 : 0;
  return VerifiedFlashWrite(RawRead(), RawWrite(), address, bytes, length) ? 1 : 0;
}

bool HasFlashWritePath(int devType) { return devType == 1 || devType == 2; }

int BeginFlashWrite() {
  const FlashLayout layout = LoadFlashLayout();
  g_FlashWrite.Begin(g_nDevType == 2, layout.vendorBase, layout.vendorSize);
  return LS_OK;
}

int WriteVendorData(int, const void* data, uint32_t address, uint32_t length) {
  if (!data || !RangeEndsWithin(address, length, LoadFlashLayout().vendorSize)) return LS_ERR_PARAM;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  switch (g_nDevType) {
    case 1:
      return VerifiedFlashWrite(RawRead(), RawWrite(), address, bytes, length) ? LS_OK
                                                                               : LS_ERR_DATA_LOST;
    case 2:
      return g_FlashWrite.Write(address, bytes, length,
                                [](uint32_t page, uint8_t* dst, uint32_t n) {
                                  return ReadVendorArea(dst, page, n);
                                });
    default:
      return LS_OK;
  }
}

int CommitFlashWrite() { return g_FlashWrite.Commit(PageWriter); }

void ResetFlashWrite() { g_FlashWrite.Reset(); }

void EndFlashWrite() {
  if (!g_FlashWrite.IsOpen()) return;
  // Another thread may be finishing its own transaction.
  for (int i = 0; i < kEndFlashWritePolls && g_FlashWrite.IsOpen(); ++i) SleepMs(1);
  CommitFlashWrite();
}

void ResetFlashPageCache() {
  // Reads on other threads may be filling it.
  std::lock_guard<std::mutex> lock(g_CommandLock);
  g_Type5Cache.Reset();
}

int ReadSettingsRecord(int channel, SettingsRecord* record) {
  DeviceAccess device;
  if (!DeviceReady() || !device) return LS_ERR_NOT_INIT;
  if (BadChannel(channel) || !record) return LS_ERR_PARAM;
  uint8_t bytes[kSettingsRecordSize];
  const int r = ReadVendorArea(bytes, LoadFlashLayout().settingsAddress, sizeof bytes);
  if (r != LS_OK) return r;
  DecodeSettingsRecord(bytes, sizeof bytes, record);
  RepairSettingsRecord(g_nDevType, record);
  return LS_OK;
}

}  // namespace belnor

using namespace belnor;

extern "C" int ReadVendorData(int, void* buffer, unsigned address, unsigned length) {
  if (!buffer || !RangeEndsWithin(address, length, LoadFlashLayout().vendorSize)) return LS_ERR_PARAM;
  // Outside an open library the read holds the capture lock: an init that
  // is starting the device finishes first (and none starts meanwhile).
  std::unique_lock<FairLock> capture(g_CaptureLock, std::defer_lock);
  if (!DeviceReady()) capture.lock();
  return ReadVendorArea(buffer, address, length);
}

extern "C" int LIVESCAN_GetUserSpace(void) {
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  return int(LoadFlashLayout().userSize);
}
