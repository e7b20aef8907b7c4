// The reduced build's capture window.
#pragma once

namespace belnor {

// 256 x 360 at (x, y) on types 1 and 5 ((0, 0) asks for the type's default
// origin, kept inside the corrected image of the calibration in use), at
// (0, 0) on type 2; other types keep their window, and so do types 1 and 5
// for an origin that takes the window out of the corrected image. The caller
// holds g_CaptureLock.
void ApplyLiteWindowLocked(int x, int y);

}  // namespace belnor
