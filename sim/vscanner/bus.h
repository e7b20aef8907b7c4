// The process-wide set of attached scanners, created from the environment
// on first use and shared by every libusb context.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "device.h"

namespace vscanner {

class Bus {
public:
    static Bus& Get();

    std::vector<std::shared_ptr<Device>> Devices() const;
    std::shared_ptr<Device> At(int number) const;
    int Reset(const char* devices);

private:
    Bus();
    mutable std::mutex mu_;
    std::vector<std::shared_ptr<Device>> devices_;
};

} // namespace vscanner
