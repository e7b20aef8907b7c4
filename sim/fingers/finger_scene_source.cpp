#include "finger_scene_source.h"

#include <cstring>

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
    : type_(deviceType), fps_(fps > 0 ? fps : 10), optics_(SharedOptics(deviceType, record)),
      scene_(MakeScene(spec, deviceType)) {
  view_.resize(size_t(scene_.width()) * scene_.height());
}

uint64_t FingerSceneSource::PictureOf(void *self, uint64_t frame) {
  auto *s = static_cast<FingerSceneSource *>(self);
  return s->scene_.PictureAt(s->FrameTimeMs(frame));
}

const std::vector<uint8_t> &FingerSceneSource::Corrected(uint64_t picture, double tMs) {
  auto it = corrected_.find(picture);
  if (it != corrected_.end()) return it->second;
  std::vector<uint8_t> k(size_t(optics_->correctedWidth()) * optics_->correctedHeight());
  scene_.Render(tMs, view_.data());
  ViewToCorrected(type_, view_.data(), k.data());
  return corrected_.emplace(picture, std::move(k)).first->second;
}

int FingerSceneSource::Render(void *self, uint64_t frame, int width, int height, uint8_t *light) {
  auto *s = static_cast<FingerSceneSource *>(self);
  const ScannerOptics &optics = *s->optics_;
  if (width != optics.sensorWidth() || height != optics.sensorHeight()) return 0;
  // The scene's view and the corrected image have one size for every type
  // but 3, whose centre crop is the view itself.
  if (s->view_.size() != size_t(optics.correctedWidth()) * optics.correctedHeight()) return 0;
  const size_t bytes = size_t(width) * height;
  const double tMs = s->FrameTimeMs(frame);
  std::lock_guard<std::mutex> hold(s->lock_);
  const uint64_t picture = s->scene_.PictureAt(tMs);
  for (auto it = s->frames_.begin(); it != s->frames_.end(); ++it) {
    if (it->first != picture) continue;
    std::memcpy(light, it->second.data(), bytes);
    s->frames_.splice(s->frames_.begin(), s->frames_, it);
    return 1;
  }
  optics.Render(s->Corrected(picture, tMs).data(), light);
  std::vector<uint8_t> kept;
  if (s->frames_.size() * bytes >= kKeptFrameBytes) {
    kept.swap(s->frames_.back().second);  // the least recently used makes room
    s->frames_.pop_back();
  }
  if (bytes <= kKeptFrameBytes) {
    kept.assign(light, light + bytes);
    s->frames_.emplace_front(picture, std::move(kept));
  }
  return 1;
}

}  // namespace belnor::sim
