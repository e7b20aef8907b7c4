// Control transfers on the USB handle of a capture device's camera.
#pragma once

#include "vendor_packets.h"

namespace belnor {

class CCaptureDevice;

// A transfer through device's camera (2000 ms time-out). Without a device
// every transfer fails with 0.
ControlTransferFn CameraTransfer(CCaptureDevice* device);

}  // namespace belnor
