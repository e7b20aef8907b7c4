// Records kept in the scanner's flash and the process-wide state around them:
// the settings record, the product-information cache, the type-5 page cache.
#pragma once

#include <cstdint>

#include "livescan.h"
#include "product_info.h"
#include "settings_record.h"

namespace belnor {

// Empties the product-information cache (init and Close): reads that began
// before no longer fill it.
void ResetProductInfoCache();

// Reads the 16-byte settings record of the open scanner and repairs it with
// the defaults of its type: 1, -5 (not open), -1 (channel, null), or the
// flash read's result.
int ReadSettingsRecord(int channel, SettingsRecord* record);

// Reads the product information (before init through a temporary device).
// 1 when the serial is valid, else 0.
extern "C" int CAM_GetProductInfo(ProductInfo* info, int unused);

// Forgets the DeviceType-5 flash page cache.
void ResetFlashPageCache();

}  // namespace belnor
