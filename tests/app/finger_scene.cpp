#include "finger_scene.h"

#include "finger_scene_source.h"

namespace scanbench_test {

std::shared_ptr<void> ShowFingerScene(decltype(&vscanner_set_scene) setScene, const char *text) {
  belnor::sim::SceneSpec spec;
  if (!belnor::sim::ParseSceneSpec(text, &spec)) return nullptr;
  auto source = std::make_shared<belnor::sim::FingerSceneSource>(spec, 5, std::vector<uint8_t>{}, 10);
  if (setScene(0, belnor::sim::FingerSceneSource::Render, source.get()) != 0) return nullptr;
  return source;
}

}  // namespace scanbench_test
