// Least behaviour of the steps that init and close call in other parts of
// the library, until those parts land: each body here is replaced by the
// real one.
#include <cstring>

#include "device_state.h"
#include "frame_pipeline.h"

namespace belnor {

// The window cut from the centre of the sensor frame.
int ProcessFrameCallback(const uint8_t* frame, int sensorWidth, int sensorHeight, uint8_t* out,
                         int* outWidth, int* outHeight) {
  if (!g_bInitialized) return 0;
  const int width = g_WindowWidth;
  const int height = g_WindowHeight;
  if (width < sensorWidth && height < sensorHeight) {
    const int x = (sensorWidth - width) / 2;
    const int y = (sensorHeight - height) / 2;
    for (int row = 0; row < height; ++row)
      std::memcpy(out + static_cast<size_t>(row) * width,
                  frame + static_cast<size_t>(y + row) * sensorWidth + x, width);
    *outWidth = width;
    *outHeight = height;
    return 1;
  }
  std::memcpy(out, frame, static_cast<size_t>(sensorWidth) * sensorHeight);
  *outWidth = sensorWidth;
  *outHeight = sensorHeight;
  return 1;
}

}  // namespace belnor
