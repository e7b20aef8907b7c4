// Choosing a device's scene, by name or as a callback.
#include "calibration_record.h"
#include "device.h"
#include "operator_scene.h"

namespace vscanner {

bool Device::SelectScene(const std::string& name) {
    if (!KnownScene(name))
        return false;
    sceneName_ = name;
    if (streaming_)
        ShowNamedScene();
    return true;
}

void Device::InstallScene(vscanner_scene_fn fn, void* user) {
    if (!fn) {
        SelectScene(configuredScene_);
        return;
    }
    sceneName_.clear();
    scene_ = Scene{fn, user};
}

// Lamp 0 is bit 1 and lamp 1 bit 3 of register 0x2043, lamp 2 bit 0 of
// register 0x204C.
void Device::LampsChanged() {
    const auto level = [this](uint16_t r) {
        const auto it = registers.find(r);
        return it == registers.end() ? 0 : int(it->second);
    };
    namedScenes_.SetLamps(((level(0x2043) >> 1) & 1) | ((level(0x2043) >> 3) & 1) << 1 | (level(0x204C) & 1) << 2);
}

void Device::LookAtScreen(CaptureWindowFn window) {
    int x, y, width, height;
    namedScenes_.ShowSlapWindow(window && window(0, &x, &y, &width, &height) == 1 &&
                                belnor::sim::SlapWindow(model.type, width, height));
}

void Device::ShowNamedScene() {
    if (!sceneName_.empty())
        scene_ = namedScenes_.Get(sceneName_, CalibrationRecord());
}

// The whole area the library may read; blank or junk bytes give the
// built-in optics there as well.
std::vector<uint8_t> Device::CalibrationRecord() const {
    const uint32_t at = RecordAddressesOf(model.type).calibration;
    const uint32_t length = uint32_t(belnor::kCalibHeaderSize + belnor::kCalibMaxDataSize);
    if (at == 0 || !flash.InRange(at, length))
        return {};
    std::vector<uint8_t> record(length);
    flash.Read(at, record.data(), length);
    return record;
}

} // namespace vscanner
