// The camera side of an emulated scanner: its UVC controls and how their
// values change the pixels.
#pragma once

#include <cstdint>
#include <map>

namespace vscanner {

struct ControlDef {
    uint8_t unit;
    uint8_t selector;
    uint8_t size; // bytes on the wire
    bool isSigned;
    int32_t min, max, res;
};

// Null when the camera terminal / processing unit has no such control.
const ControlDef* FindControl(int unit, int selector);

// Control values at power-up for a device type; they render the scene
// unchanged.
std::map<uint16_t, int32_t> PowerOnControls(int type);

inline uint16_t ControlKey(int unit, int selector) {
    return uint16_t(unit << 8 | selector);
}

// The values the picture depends on.
struct CameraSettings {
    int32_t brightness, contrast, gain, gamma, exposure;
};

CameraSettings SettingsOf(const std::map<uint16_t, int32_t>& controls);

// 256-entry response: light seen by the sensor -> pixel value, relative to
// the type's power-up settings.
void BuildResponse(const CameraSettings& now, const CameraSettings& reference, uint8_t lut[256]);

} // namespace vscanner
