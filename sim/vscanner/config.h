// Configuration of the attached devices, from the VSCANNER_* environment.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "models.h"

namespace vscanner {

struct DeviceConfig {
    const Model* model = nullptr;
    std::string serial;
    std::vector<Format> formats; // descriptor order
    double fps = 10.0;
    std::string flashPath; // empty: not kept
    bool factoryFlash = true; // without a file: as from the factory, else blank
    std::vector<std::pair<int, int>> faults; // fault, count
};

struct BusConfig {
    std::vector<DeviceConfig> devices;
    std::string scene;
    bool trace = false;
};

// A flash setting: "factory" (the default) and "blank" keep nothing in a
// file; anything else is an image file's path.
void ApplyFlashSetting(const std::string& value, DeviceConfig* dev);

// devices: the VSCANNER_DEVICES syntax, or null to read the variable.
// Items that do not parse are reported on stderr and skipped.
BusConfig ReadConfig(const char* devices);

// Fault number (enum vscanner_fault) for its configuration name; 0 if none.
int FaultByName(const std::string& name);

} // namespace vscanner
