// Per-frame image pipeline, run on the capture device's worker thread: the
// sensor frame becomes the capture-window image.
#pragma once

#include <cstdint>

#include "background_clear.h"
#include "device_state.h"
#include "finger_window.h"
#include "image_analysis.h"
#include "scratch_buffer.h"

namespace belnor {

// What one frame is processed with, read once per frame.
struct FrameSettings {
  int devType;
  WindowSnapshot window;
  int remapWidth, remapHeight;    // corrected image
  const int32_t *mapX, *mapY;     // 8.8 sensor positions per corrected pixel
  bool autoAdjust, clearBackground, autoPosition;
};

// The current process-wide settings.
FrameSettings CurrentFrameSettings();

// Working state of the pipeline: buffers sized on the first frame (and
// again only when a size changes) and the finger tracking of type 1.
class FramePipeline {
 public:
  // Geometry, grey level, background and placement of one frame (sensor
  // frame in, window image of s.window's size out). Result: type 1 gives 1,
  // or 3 / 2 (finger / none) while it follows the finger; type 5 gives 1;
  // every other type 0.
  int Process(const FrameSettings &s, const uint8_t *frame, int sensorWidth, int sensorHeight,
              uint8_t *out, int *outWidth, int *outHeight);

 private:
  ScratchBuffer<uint8_t> corrected_;
  ScratchBuffer<uint8_t> turned_;  // type 2: the corrected image reflected
  AnalysisContext analysis_;
  ClearContext clear_;
  WindowTracker tracker_;
};

// The worker's callback: 0 and nothing written while the library is closed;
// a window smaller than the sensor in both dimensions is processed (a frame
// whose working images cannot be allocated is dropped: size 0, result 0);
// any other passes the frame through at sensor size with result 1.
int ProcessFrameCallback(const uint8_t *frame, int sensorWidth, int sensorHeight, uint8_t *out,
                         int *outWidth, int *outHeight);

// The pipeline of the open scanner: made at init before the callback is
// installed, dropped at close after the worker has ended.
void StartFramePipeline();
void StopFramePipeline();

}  // namespace belnor
