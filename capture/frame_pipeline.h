// Per-frame image pipeline, run on the capture device's worker thread.
#pragma once

#include <cstdint>

namespace belnor {

// Turns one sensor frame into the capture-window image in out (sized for at
// least one sensor frame) and reports its size.
int ProcessFrameCallback(const uint8_t* frame, int sensorWidth, int sensorHeight, uint8_t* out,
                         int* outWidth, int* outHeight);

}  // namespace belnor
