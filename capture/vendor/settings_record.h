// SettingsRecord: the 16-byte image-attribute record kept in the scanner's
// flash (and, in the same layout, the current settings g_Settings).
#pragma once

#include <cstddef>
#include <cstdint>

#include "livescan.h"

namespace belnor {

constexpr uint16_t kSettingsMagic = 0x5346;  // the bytes "FS"
constexpr uint16_t kSettingsVersion = 3;
constexpr size_t kSettingsRecordSize = 16;

#pragma pack(push, 1)
struct SettingsRecord {
  uint16_t magic;
  uint16_t version;
  ImgAttr attr;          // bytes 4..13
  uint16_t reserved;     // kept as read, written back unchanged
};
#pragma pack(pop)
static_assert(sizeof(SettingsRecord) == kSettingsRecordSize, "SettingsRecord is 16 bytes");
static_assert(sizeof(ImgAttr) == 10, "ImgAttr is 10 packed bytes");

// Accepted ranges of the attributes that the camera takes as numbers.
constexpr int kGainMin = 1, kGainMax = 16;
constexpr int kExposureMin = -10, kExposureMax = -5;
constexpr int kWhiteBalanceMin = 2800, kWhiteBalanceMax = 6500;

inline bool GainInRange(int gain) { return gain >= kGainMin && gain <= kGainMax; }
inline bool ExposureInRange(int e) { return e >= kExposureMin && e <= kExposureMax; }
inline bool WhiteBalanceInRange(int wb) { return wb >= kWhiteBalanceMin && wb <= kWhiteBalanceMax; }

// The record as the library keeps it fresh: "FS", version 3, attributes 0.
SettingsRecord FreshSettingsRecord();

// Little-endian wire form. Decode refuses fewer than 16 bytes.
void EncodeSettingsRecord(const SettingsRecord &record, uint8_t out[kSettingsRecordSize]);
bool DecodeSettingsRecord(const uint8_t *bytes, size_t size, SettingsRecord *record);

// Magic present, Gain and Exposure in their accepted ranges.
bool IsSettingsRecordValid(const SettingsRecord &record);

// Replaces what an invalid or blank record lacks with the defaults of the
// device type, so that the result is accepted by LIVESCAN_SetImgAttr. A
// valid record is left as it is. The repair is not written back to flash.
void RepairSettingsRecord(int devType, SettingsRecord *record);

}  // namespace belnor
