#include "finger_scene_source.h"

namespace belnor::sim {
namespace {

SceneRenderer MakeScene(const SceneSpec &spec, int type) {
  int w, h;
  SceneViewSize(type, &w, &h);
  return SceneRenderer(spec, w, h);
}

}  // namespace

FingerSceneSource::FingerSceneSource(const SceneSpec &spec, int deviceType,
                                     const std::vector<uint8_t> &record, double fps)
    : type_(deviceType), fps_(fps > 0 ? fps : 10), optics_(deviceType, record),
      scene_(MakeScene(spec, deviceType)) {
  view_.resize(size_t(scene_.width()) * scene_.height());
  corrected_.resize(size_t(optics_.correctedWidth()) * optics_.correctedHeight());
}

int FingerSceneSource::Render(void *self, uint64_t frame, int width, int height, uint8_t *light) {
  auto *s = static_cast<FingerSceneSource *>(self);
  if (width != s->optics_.sensorWidth() || height != s->optics_.sensorHeight()) return 0;
  // The scene's view and the corrected image have one size for every type
  // but 3, whose centre crop is the view itself.
  if (s->view_.size() != s->corrected_.size()) return 0;
  std::lock_guard<std::mutex> hold(s->lock_);
  s->scene_.Render(s->FrameTimeMs(frame), s->view_.data());
  ViewToCorrected(s->type_, s->view_.data(), s->corrected_.data());
  s->optics_.Render(s->corrected_.data(), light);
  return 1;
}

}  // namespace belnor::sim
