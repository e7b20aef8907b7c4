// Where the full and the reduced build of the capture library differ: each
// build defines these for the shared code to call.
#pragma once

namespace belnor {

// Called by init with g_CaptureLock held, after the camera has been
// programmed from the stored settings and before the LED is switched on.
void VariantAfterCameraProgrammed();

// Whether CAM_GetProductInfo before init keeps the scanner it opened as the
// capture device (the next init or close destroys it) instead of closing it.
bool VariantKeepsProbeDevice();

}  // namespace belnor
