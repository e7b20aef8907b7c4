// The reduced build's capture window.
#pragma once

namespace belnor {

// 256 x 360 at (x, y) on types 1 and 5 ((0, 0) asks for the type's default
// origin), at (0, 0) on type 2; other types keep their window. The caller
// holds g_CaptureLock.
void ApplyLiteWindowLocked(int x, int y);

}  // namespace belnor
