// Choosing a device's scene, by name or as a callback.
#include "calibration_record.h"
#include "device.h"

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
