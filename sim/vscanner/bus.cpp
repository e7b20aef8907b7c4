#include "bus.h"

#include "config.h"

namespace vscanner {

namespace {

std::vector<std::shared_ptr<Device>> Build(const char* devices) {
    const BusConfig config = ReadConfig(devices);
    const std::string scene = SceneNameOrPattern(config.scene);
    std::vector<std::shared_ptr<Device>> out;
    for (size_t i = 0; i < config.devices.size(); ++i)
        out.push_back(std::make_shared<Device>(config.devices[i], int(i), scene, config.trace));
    return out;
}

} // namespace

Bus& Bus::Get() {
    // Never destroyed: host threads may still use devices while the process exits.
    static Bus* bus = new Bus;
    return *bus;
}

Bus::Bus() : devices_(Build(nullptr)) {}

std::vector<std::shared_ptr<Device>> Bus::Devices() const {
    std::lock_guard<std::mutex> lock(mu_);
    return devices_;
}

std::shared_ptr<Device> Bus::At(int number) const {
    std::lock_guard<std::mutex> lock(mu_);
    if (number < 0 || size_t(number) >= devices_.size())
        return nullptr;
    return devices_[size_t(number)];
}

int Bus::Reset(const char* devices) {
    std::vector<std::shared_ptr<Device>> old;
    {
        std::lock_guard<std::mutex> lock(mu_);
        old.swap(devices_);
    }
    for (const auto& d : old)
        d->Unplug();
    std::vector<std::shared_ptr<Device>> fresh = Build(devices);
    std::lock_guard<std::mutex> lock(mu_);
    devices_ = std::move(fresh);
    return int(devices_.size());
}

} // namespace vscanner
