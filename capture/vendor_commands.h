// Vendor extension-unit commands of the scanner.
#pragma once

namespace belnor {

// Illumination on (1) or off (0). Transfer result; 0 for types without it.
int SetLedMode(int on);
// Sensor mode switch. Transfer result; 0 for types without it.
int SetSensorMode(int flag);

// Marks no flash write transaction open (init starts from a clean state).
void ResetFlashWrite();
// Lets a pending flash write transaction finish, then commits it.
void EndFlashWrite();

}  // namespace belnor
