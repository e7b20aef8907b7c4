#include "camera_model.h"

#include <cmath>

#include "descriptors.h"

namespace vscanner {

namespace {

// UVC selectors.
constexpr uint8_t kAeMode = 0x02, kExposureAbs = 0x04;
constexpr uint8_t kBrightness = 0x02, kContrast = 0x03, kGain = 0x04, kSaturation = 0x07,
                  kGamma = 0x09, kWbTemperature = 0x0A, kWbTemperatureAuto = 0x0B;

const ControlDef kControls[] = {
    {kCameraTerminal, kAeMode, 1, false, 1, 8, 0x0F},
    {kCameraTerminal, kExposureAbs, 4, false, 1, 10000, 1},
    {kProcessingUnit, kBrightness, 2, true, -255, 255, 1},
    {kProcessingUnit, kContrast, 2, false, 0, 255, 1},
    {kProcessingUnit, kGain, 2, false, 0, 255, 1},
    {kProcessingUnit, kSaturation, 2, false, 0, 255, 1},
    {kProcessingUnit, kGamma, 2, false, 0, 500, 1},
    {kProcessingUnit, kWbTemperature, 2, false, 2800, 6500, 1},
    {kProcessingUnit, kWbTemperatureAuto, 1, false, 0, 1, 1},
};

} // namespace

const ControlDef* FindControl(int unit, int selector) {
    for (const ControlDef& c : kControls)
        if (c.unit == unit && c.selector == selector)
            return &c;
    return nullptr;
}

std::map<uint16_t, int32_t> PowerOnControls(int type) {
    // The values each type's host programs from blank flash, so that an
    // unconfigured scanner shows the scene as it is.
    int32_t brightness = 95, contrast = 100, gain = 8, gamma = 100, wb = 4650, exposure = 39,
            saturation = 64;
    if (type == 2) {
        brightness = 182, contrast = 60, gain = 4, gamma = 75, wb = 4000, exposure = 312;
    } else if (type == 5) {
        // Saturation is type 5's illumination switch: off at power-up. The
        // host's blank-flash settings (bright 0, contrast 56) reach the
        // camera halved and offset: brightness 63, contrast 56.
        brightness = 63, contrast = 56, gain = 1, gamma = 100, wb = 4600, exposure = 156, saturation = 0;
    }
    return {
        {ControlKey(kCameraTerminal, kAeMode), 8},
        {ControlKey(kCameraTerminal, kExposureAbs), exposure},
        {ControlKey(kProcessingUnit, kBrightness), brightness},
        {ControlKey(kProcessingUnit, kContrast), contrast},
        {ControlKey(kProcessingUnit, kGain), gain},
        {ControlKey(kProcessingUnit, kSaturation), saturation},
        {ControlKey(kProcessingUnit, kGamma), gamma},
        {ControlKey(kProcessingUnit, kWbTemperature), wb},
        {ControlKey(kProcessingUnit, kWbTemperatureAuto), 1},
    };
}

CameraSettings SettingsOf(const std::map<uint16_t, int32_t>& c) {
    auto get = [&](int unit, int sel) {
        auto it = c.find(ControlKey(unit, sel));
        return it == c.end() ? 0 : it->second;
    };
    return {get(kProcessingUnit, kBrightness), get(kProcessingUnit, kContrast),
            get(kProcessingUnit, kGain), get(kProcessingUnit, kGamma),
            get(kCameraTerminal, kExposureAbs)};
}

void BuildResponse(const CameraSettings& now, const CameraSettings& ref, uint8_t lut[256]) {
    auto ratio = [](int32_t v, int32_t r) { return double(v > 0 ? v : 0) / double(r > 0 ? r : 1); };
    // Exposure time and gain scale the collected light; contrast stretches
    // around mid-grey; brightness shifts; gamma bends the midtones.
    const double scale = ratio(now.exposure, ref.exposure) * ratio(now.gain, ref.gain);
    const double contrast = ratio(now.contrast, ref.contrast);
    const double offset = double(now.brightness - ref.brightness);
    const bool bend = now.gamma > 0 && ref.gamma > 0 && now.gamma != ref.gamma;
    const double exponent = bend ? double(ref.gamma) / double(now.gamma) : 1.0;
    for (int light = 0; light < 256; ++light) {
        double v = light * scale;
        v = 128.0 + (v - 128.0) * contrast + offset;
        if (v < 0)
            v = 0;
        if (v > 255)
            v = 255;
        if (bend)
            v = 255.0 * std::pow(v / 255.0, exponent);
        lut[light] = uint8_t(v + 0.5 > 255 ? 255 : v + 0.5);
    }
}

} // namespace vscanner
