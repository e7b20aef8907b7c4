#include "device_models.h"

#include <strings.h>

#include <cstdio>

#include "capture_device.h"

namespace belnor {

const DeviceModel DeviceModelTable[kDeviceModelCount] = {
    {"vid_8899&pid_1001", 1, 1}, {"vid_8899&pid_1002", 1, 2}, {"vid_7d45&pid_3004", 1, 2},
    {"vid_13d3&pid_56ff", 0, 3}, {"vid_5843&pid_7884", 0, 4}, {"vid_8899&pid_1003", 1, 5},
};

void CountAttached(CCaptureDevice& device, int counts[kDeviceModelCount]) {
  for (int row = 0; row < kDeviceModelCount; ++row)
    counts[row] =
        DeviceModelTable[row].enabled ? device.CountDevices(DeviceModelTable[row].deviceString) : 0;
}

bool GeometryOfType(int deviceType, DeviceGeometry* geometry) {
  switch (deviceType) {
    case 1: *geometry = {640, 640, 1424, 984}; return true;
    case 2: *geometry = {256, 360, 1280, 720}; return true;
    case 3: *geometry = {640, 640, 1280, 720}; return true;
    case 4: *geometry = {2304, 2304, 4096, 3072}; return true;
    case 5: *geometry = {1600, 1500, 2592, 1944}; return true;
    default: return false;
  }
}

FlashLayout FlashLayoutOfType(int deviceType) {
  FlashLayout layout = DefaultFlashLayout();
  if (deviceType == 2) {
    layout.vendorBase = 0x20000;
    layout.vendorSize = 0x60000;
    layout.settingsAddress = 0x20000;
    layout.firmwareAddress = 0x2003E;
    layout.productInfoAddress = 0x20040;
    layout.calibrationAddress = 0x20080;
    layout.userStart = 0x23000;
    layout.userSize = 0x5D000;
  } else if (deviceType == 5) {
    layout.vendorBase = 0x20000;
    layout.settingsAddress = layout.vendorBase + 0x820;
    layout.productInfoAddress = layout.vendorBase + 0x800;
    layout.calibrationAddress = layout.vendorBase + 26;
  }
  return layout;
}

int SelectDeviceModel(const char* deviceString) {
  if (!deviceString) return 0;
  for (const DeviceModel& model : DeviceModelTable) {
    if (deviceString != model.deviceString && strcasecmp(deviceString, model.deviceString) != 0)
      continue;
    g_nDevType = model.deviceType;
    DeviceGeometry geometry{};
    if (GeometryOfType(model.deviceType, &geometry)) {
      StoreCaptureWindow(0, 0, geometry.windowWidth, geometry.windowHeight);
      g_SensorWidth = geometry.sensorWidth;
      g_SensorHeight = geometry.sensorHeight;
    } else {
      const WindowSnapshot kept = LoadCaptureWindow();
      StoreCaptureWindow(0, 0, kept.width, kept.height);
      g_SensorWidth = 0;
      g_SensorHeight = 0;
    }
    // Always from the defaults: a type-1 scanner after a type-2 one must not
    // inherit the type-2 addresses.
    StoreFlashLayout(FlashLayoutOfType(model.deviceType));
    std::snprintf(g_DeviceString, sizeof g_DeviceString, "%s", model.deviceString);
    return 1;
  }
  return 0;
}

bool ChooseDevice(const int counts[kDeviceModelCount], int index, DeviceChoice* choice) {
  int total = 0;
  for (int row = 0; row < kDeviceModelCount; ++row) {
    if (!DeviceModelTable[row].enabled) continue;
    const int n = counts[row];
    total += n;
    if (n > 0 && total > index) {
      choice->row = row;
      choice->inRow = index < 0 ? 0 : total - 1 - index;
      return true;
    }
  }
  return false;
}

int InitIndexOf(const int counts[kDeviceModelCount], const DeviceChoice& choice) {
  int total = 0;
  for (int row = 0; row <= choice.row && row < kDeviceModelCount; ++row)
    if (DeviceModelTable[row].enabled) total += counts[row];
  return total - 1 - choice.inRow;
}

}  // namespace belnor
