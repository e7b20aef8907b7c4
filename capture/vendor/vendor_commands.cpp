// Illumination and sensor commands, and the lamp registers.
#include "vendor_commands.h"

#include <mutex>

#include "capture_device.h"
#include "device_state.h"
#include "export_checks.h"
#include "flash_protocol.h"
#include "livescan.h"
#include "result_codes.h"
#include "vendor_link.h"

namespace belnor {

ControlTransferFn CameraTransfer(CCaptureDevice* device) {
  return [device](const ControlRequest& r, uint8_t* data) {
    if (!device) return 0;
    return device->Camera()->ControlTransfer(r.requestType, r.request, r.value, r.index, data,
                                             r.length, kVendorTimeoutMs);
  };
}

namespace {

int SendLockedCommand(const VendorCommand& packet) {
  DeviceAccess device;
  std::lock_guard<std::mutex> lock(g_CommandLock);
  return SendVendorCommand(CameraTransfer(device.get()), packet);
}

}  // namespace

int SetLedMode(int on) {
  const int type = g_nDevType;
  if (type == 1 || type == 2) return SendLockedCommand(LedPacket(on != 0));
  if (type == 5) {
    // Type 5 switches its illumination through the saturation control.
    DeviceAccess device;
    if (!device) return kNoHandle;
    return device->Camera()->SetSaturation(on ? 70 : 0);
  }
  return 0;
}

int SetSensorMode(int flag) {
  const int type = g_nDevType;
  if (type == 1 || type == 2) return SendLockedCommand(SensorModePacket(flag));
  return 0;
}

}  // namespace belnor

using namespace belnor;

// Lamp registers take no command lock.
extern "C" int LIVESCAN_AccessLamp(int channel, unsigned char* lamps, int read) {
  DeviceAccess device;
  if (!g_bInitialized || !device) return LS_ERR_NOT_INIT;
  if (BadChannel(channel) || !lamps) return LS_ERR_PARAM;
  return AccessLampRegisters(CameraTransfer(device.get()), lamps, read != 0);
}
