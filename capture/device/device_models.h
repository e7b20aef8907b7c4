// The scanner models the library drives and what each device type implies.
#pragma once

#include "device_state.h"

namespace belnor {

struct DeviceModel {
  const char* deviceString;  // "vid_xxxx&pid_xxxx"
  int enabled;
  int deviceType;
};

constexpr int kDeviceModelCount = 6;
extern const DeviceModel DeviceModelTable[kDeviceModelCount];

struct DeviceGeometry {
  int windowWidth;
  int windowHeight;
  int sensorWidth;
  int sensorHeight;
};

// Window and sensor sizes of a type; false for an unknown type.
bool GeometryOfType(int deviceType, DeviceGeometry* geometry);

// Default layout with the type's overrides applied.
FlashLayout FlashLayoutOfType(int deviceType);

// Matches deviceString (same pointer or case-insensitive) against all rows,
// enabled or not. On a match sets type, window, sensor and flash layout,
// window origin 0, 0, and g_DeviceString; returns 1. Else 0, nothing changed.
int SelectDeviceModel(const char* deviceString);

struct DeviceChoice {
  int row;    // row of DeviceModelTable
  int inRow;  // index among that row's devices, as OpenDevice counts
};

// Chooses the device for an init index from the number of attached devices
// of each row (disabled rows are skipped). Rows are walked in table order;
// the first row whose running total exceeds index wins, and its devices are
// numbered from the last one backwards (index -1: the row's first device).
bool ChooseDevice(const int counts[kDeviceModelCount], int index, DeviceChoice* choice);

// Attached devices of each row, counted through device; 0 for disabled rows.
void CountAttached(CCaptureDevice& device, int counts[kDeviceModelCount]);

// The init index (>= 0) that chooses the given device again.
int InitIndexOf(const int counts[kDeviceModelCount], const DeviceChoice& choice);

}  // namespace belnor
