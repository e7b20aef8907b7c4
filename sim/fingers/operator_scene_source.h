// The operator scene as a frame source for the virtual scanner. Every state
// is drawn once, through the scanner type's optics, as the patches in which
// it differs from the bare platen; a frame is the bare platen with a
// state's patches. A helper thread draws the states (the optics and the
// fingers take a while to make) so that frames never wait: until a state is
// ready the source keeps the last picture it gave.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "operator_scene.h"

namespace belnor::sim {

class OperatorSceneSource {
 public:
  // record: the calibration record the scanner's flash holds (empty for
  // blank flash); fps turns frame numbers into scene time; lamps (kLamp*
  // bits, null for none lit) is read at every frame and must outlive the
  // source.
  OperatorSceneSource(uint32_t seed, int deviceType, const std::vector<uint8_t> &record, double fps,
                      const std::atomic<int> *lamps);
  ~OperatorSceneSource();
  OperatorSceneSource(const OperatorSceneSource &) = delete;
  OperatorSceneSource &operator=(const OperatorSceneSource &) = delete;

  // The scanner's scene callback (vscanner_scene_fn) with the source as the
  // user pointer: 0 when the picture is the one given last (frame 0 is
  // always written).
  static int Render(void *self, uint64_t frame, int width, int height, uint8_t *light);

  double FrameTimeMs(uint64_t frame) const { return double(frame) * 1000.0 / fps_; }
  int sensorWidth() const { return sensorW_; }
  int sensorHeight() const { return sensorH_; }

  // The sensor light of a state (sensorWidth x sensorHeight); false, with
  // nothing written, while it is not drawn yet.
  bool Compose(const OperatorState &s, uint8_t *light) const;
  // Asks for the state and waits until it is drawn; false when time ran out.
  bool WaitDrawn(const OperatorState &s, std::chrono::milliseconds timeout) const;

 private:
  struct Shared;
  static void Work(std::shared_ptr<Shared> shared);
  bool Want(int index) const;  // true when drawn

  double fps_;
  int sensorW_ = 0, sensorH_ = 0;
  const std::atomic<int> *lamps_;
  std::shared_ptr<Shared> shared_;
  int shown_ = -2;  // state index of the last picture Render gave; -1 the plain platen
};

}  // namespace belnor::sim
