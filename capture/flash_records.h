// Records kept in the scanner's flash and the process-wide caches around them.
#pragma once

#include <cstdint>

#include "livescan.h"

namespace belnor {

#pragma pack(push, 1)
// The 16-byte settings record; also the layout of the in-memory g_Settings.
struct SettingsRecord {
  uint16_t magic;    // 0x5346, the bytes "FS"
  uint16_t version;  // 3
  ImgAttr attr;
  uint16_t reserved;  // kept as read
};
#pragma pack(pop)
static_assert(sizeof(SettingsRecord) == 16, "settings record is 16 bytes");
static_assert(sizeof(ImgAttr) == 10, "ImgAttr is 10 packed bytes");
static_assert(sizeof(ProductInfo) == 24, "product information is 24 bytes");

constexpr uint16_t kSettingsMagic = 0x5346;
constexpr uint16_t kSettingsVersion = 3;

// ProductInfo read at init, and whether it holds a valid serial.
extern ProductInfo g_ProductInfoCache;
extern int g_ProductInfoValid;

// Reads and repairs the settings record of the open scanner.
int ReadSettingsRecord(int channel, SettingsRecord* record);

// Reads the product information (before init through a temporary device).
// 1 when the serial is valid, else 0. Exported by the interface front.
extern "C" int CAM_GetProductInfo(ProductInfo* info, int unused);

// Forgets the DeviceType-5 flash page cache.
void ResetFlashPageCache();

}  // namespace belnor
