// A frame source for the virtual scanner: a finger scene at each frame's
// time, rendered through the scanner type's optics. Its Render has the shape
// of the scanner's scene callback (vscanner_scene_fn), with the source as
// the user pointer.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "finger_scenes.h"
#include "scanner_optics.h"

namespace belnor::sim {

class FingerSceneSource {
 public:
  // record: the calibration record the scanner's flash holds (empty for
  // blank flash); fps: the stream's frame rate, which turns frame numbers
  // into scene time.
  FingerSceneSource(const SceneSpec &spec, int deviceType, const std::vector<uint8_t> &record,
                    double fps);

  // Writes frame `frame` into light (width x height must be the type's
  // sensor size, else nothing is written and 0 returned); 1 when written.
  static int Render(void *self, uint64_t frame, int width, int height, uint8_t *light);

  const ScannerOptics &optics() const { return optics_; }
  const SceneRenderer &scene() const { return scene_; }
  double FrameTimeMs(uint64_t frame) const { return double(frame) * 1000.0 / fps_; }

 private:
  int type_;
  double fps_;
  ScannerOptics optics_;
  SceneRenderer scene_;
  std::mutex lock_;  // the scratch images below
  std::vector<uint8_t> view_, corrected_;
};

}  // namespace belnor::sim
