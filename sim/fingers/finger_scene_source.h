// A frame source for the virtual scanner: a finger scene at each frame's
// time, rendered through the scanner type's optics. Its Render has the shape
// of the scanner's scene callback (vscanner_scene_fn), with the source as
// the user pointer.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
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
  // Each distinct picture is drawn once and kept (the sensor frames as far
  // as kKeptFrameBytes allow, the scene's views all).
  static int Render(void *self, uint64_t frame, int width, int height, uint8_t *light);

  // Which picture frame `frame` shows: equal values, equal frames.
  static uint64_t PictureOf(void *self, uint64_t frame);

  const ScannerOptics &optics() const { return *optics_; }
  const SceneRenderer &scene() const { return scene_; }
  double FrameTimeMs(uint64_t frame) const { return double(frame) * 1000.0 / fps_; }

  static constexpr size_t kKeptFrameBytes = size_t(48) << 20;

 private:
  const std::vector<uint8_t> &Corrected(uint64_t picture, double tMs);

  int type_;
  double fps_;
  std::shared_ptr<const ScannerOptics> optics_;
  SceneRenderer scene_;
  std::mutex lock_;  // everything below
  std::vector<uint8_t> view_;
  std::map<uint64_t, std::vector<uint8_t>> corrected_;
  // Sensor frames, the most recently used first.
  std::list<std::pair<uint64_t, std::vector<uint8_t>>> frames_;
};

}  // namespace belnor::sim
