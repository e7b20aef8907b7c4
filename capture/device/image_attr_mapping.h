// Per-type translation between the interface's attribute values and the
// camera's control units.
#pragma once

#include <cstdint>

namespace belnor {

// Value sent to the camera's brightness control for LIVESCAN_SetBright.
int BrightnessToDevice(int devType, int value);
// Value sent to the camera's contrast control for LIVESCAN_SetContrast (the
// setter also stores this value).
int ContrastToDevice(int devType, int value);
// What LIVESCAN_GetBright reports for a device brightness. It is not the
// inverse of BrightnessToDevice on types 2 and 5; callers rely on it as is.
int BrightnessFromDevice(int devType, int16_t deviceValue);
// What LIVESCAN_GetContrast reports for a device contrast.
int ContrastFromDevice(int devType, uint16_t deviceValue);

// Absolute exposure in 100-microsecond units for a power-of-two exposure:
// integer part of 2^exposure * 10000 + 0.4 (-8 gives 39, -5 gives 312).
int ExposureToAbsolute(int exposure);
// Power-of-two exposure for an absolute exposure: the integer part (toward
// zero) of log2(v / 10000). false for 0, which has no logarithm.
bool ExposureFromAbsolute(uint32_t absolute, int *exposure);

}  // namespace belnor
