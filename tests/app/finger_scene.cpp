#include "finger_scene.h"

#include <atomic>
#include <chrono>

#include "operator_scene_source.h"

namespace scanbench_test {

namespace sim = belnor::sim;

struct HeldOperator::Impl {
  Impl(unsigned seed, int type) : source(seed, type, {}, 10, nullptr) {}
  static int Render(void *self, uint64_t frame, int width, int height, uint8_t *light) {
    auto *s = static_cast<Impl *>(self);
    const int index = s->index;
    if (index == s->shown && frame != 0) return 0;
    if (width != s->source.sensorWidth() || height != s->source.sensorHeight() ||
        !s->source.Compose(sim::OperatorStateOfIndex(index), light))
      return 0;
    s->shown = index;
    return 1;
  }
  sim::OperatorSceneSource source;
  std::atomic<int> index{sim::OperatorStateIndex({sim::OperatorPose::kAway, 0})};
  int shown = -1;  // the scanner's frame thread's alone
};

HeldOperator::HeldOperator(unsigned seed, int deviceType)
    : impl_(std::make_unique<Impl>(seed, deviceType)) {}

HeldOperator::~HeldOperator() = default;

bool HeldOperator::Install(decltype(&vscanner_set_scene) setScene) {
  for (int i = 0; i < sim::kOperatorStates; ++i) {
    const sim::OperatorState s = sim::OperatorStateOfIndex(i);
    const bool lamp = s.pose == sim::OperatorPose::kLeftFour || s.pose == sim::OperatorPose::kThumbs ||
                      s.pose == sim::OperatorPose::kRightFour;
    if (!lamp && !impl_->source.WaitDrawn(s, std::chrono::minutes(5))) return false;
  }
  return setScene(0, Impl::Render, impl_.get()) == 0;
}

void HeldOperator::ShowAway() { impl_->index = sim::OperatorStateIndex({sim::OperatorPose::kAway, 0}); }

void HeldOperator::ShowResting() { impl_->index = sim::OperatorStateIndex({sim::OperatorPose::kResting, 0}); }

void HeldOperator::ShowRollPhase(int k) {
  impl_->index = sim::OperatorStateIndex({sim::OperatorPose::kRolling, k});
}

int HeldOperator::RollPhases() { return sim::kRollPhases; }

}  // namespace scanbench_test
