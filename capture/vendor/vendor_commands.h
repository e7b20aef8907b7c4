// Vendor extension-unit commands of the open scanner and its flash access.
// Each command and each complete flash exchange runs under g_CommandLock.
#pragma once

#include <cstdint>

namespace belnor {

// Illumination on (1) or off (0): the transfer result (11 on success) on
// types 1 and 2, the saturation control's libuvc result on type 5, else 0.
int SetLedMode(int on);
// Sensor mode switch: the transfer result on types 1 and 2, else 0.
int SetSensorMode(int flag);

// Raw flash access of the device type: bytes received or sent.
uint32_t FlashRead(uint32_t address, uint8_t* buffer, uint32_t length);
uint32_t FlashWrite(uint32_t address, const uint8_t* data, uint32_t length);
// 1 ok, 0 failed. A write is read back and tried up to three times.
int FlashTransfer(uint32_t address, void* buffer, uint32_t length, int read);

// Flash write transaction (type 2 writes whole 4 KB pages at the commit).
int BeginFlashWrite();
// 1, -1 (null, range), -105 (type 2 without a transaction), -109 (type 1
// read-back failed), or the page read's result.
int WriteVendorData(int channel, const void* data, uint32_t address, uint32_t length);
// 1, -101 (a page did not verify), -105 (no transaction).
int CommitFlashWrite();
// Marks no flash write transaction open (init starts from a clean state).
void ResetFlashWrite();
// Lets a pending flash write transaction finish, then commits it.
void EndFlashWrite();

// Whether the device type can store data in its flash.
bool HasFlashWritePath(int devType);

}  // namespace belnor
