#include "operator_scene_source.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "finger_math.h"
#include "scanner_optics.h"

namespace belnor::sim {
namespace {

constexpr float kNoise = 1.5f;  // grey levels, standard deviation

// Sensor noise fixed to each point of the view, so that a patch drawn over
// the bare platen agrees with it wherever no finger touches.
float Noise(uint32_t seed, int x, int y) {
  const uint32_t h = HashCombine(seed, uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u);
  const float u = float(h & 0x3FF) + float((h >> 10) & 0x3FF) + float((h >> 20) & 0x3FF);
  return kNoise * 2.0f * (u / 1024.0f - 1.5f);
}

uint8_t Shade(float darkness, float noise) {
  return uint8_t(std::clamp(PlatenLevel(darkness) + noise + 0.5f, 0.0f, 255.0f));
}

struct Patch {
  ScannerOptics::FrameRect rect;
  std::vector<uint8_t> pixels;
};
using Picture = std::vector<Patch>;

// Most wanted first: the bare platen (nothing to draw), a lamp's hand, the
// resting finger, the roll in order.
int NextWanted(const std::array<bool, kOperatorStates> &wanted) {
  for (int i = 0; i < kOperatorStates; ++i)
    if (wanted[size_t(i)]) return i;
  return -1;
}

}  // namespace

struct OperatorSceneSource::Shared {
  Shared(uint32_t s, int t, const std::vector<uint8_t> &r) : seed(s), type(t), record(r) {}
  const uint32_t seed;
  const int type;
  const std::vector<uint8_t> record;

  std::mutex mu;
  std::condition_variable drawn;
  bool cancelled = false, working = false, failed = false;
  std::array<bool, kOperatorStates> wanted{};
  std::shared_ptr<const std::vector<uint8_t>> base;  // the bare platen's frame
  std::array<std::shared_ptr<const Picture>, kOperatorStates> pictures;

  // The helper thread's alone; one runs at a time.
  std::unique_ptr<ScannerOptics> optics;
  std::unique_ptr<OperatorHands> hands;
  int viewW = 0, viewH = 0;
  std::vector<uint8_t> baseView;
};

namespace {

// The frame of a state: the bare platen with its patches.
void Paint(const std::vector<uint8_t> &base, const Picture &picture, int width, uint8_t *light) {
  std::memcpy(light, base.data(), base.size());
  for (const Patch &p : picture) {
    const size_t w = size_t(p.rect.x1 - p.rect.x0);
    for (int y = p.rect.y0; y < p.rect.y1; ++y)
      std::memcpy(light + size_t(y) * size_t(width) + size_t(p.rect.x0),
                  p.pixels.data() + size_t(y - p.rect.y0) * w, w);
  }
}

}  // namespace

OperatorSceneSource::OperatorSceneSource(uint32_t seed, int deviceType, const std::vector<uint8_t> &record,
                                         double fps, const std::atomic<int> *lamps)
    : fps_(fps > 0 ? fps : 10), lamps_(lamps), shared_(std::make_shared<Shared>(seed, deviceType, record)) {
  SensorSize(deviceType, &sensorW_, &sensorH_);
  std::lock_guard<std::mutex> hold(shared_->mu);
  // The cycle without lamps is drawn ahead; a hand when its lamp lights.
  for (int i = 0; i < kOperatorStates; ++i)
    if (i < 2 || i >= 5) Want(i);
}

OperatorSceneSource::~OperatorSceneSource() {
  // The helper thread owns what it works on and ends at its next state.
  std::lock_guard<std::mutex> hold(shared_->mu);
  shared_->cancelled = true;
}

bool OperatorSceneSource::Want(int index) const {
  Shared &s = *shared_;
  if (s.pictures[size_t(index)]) return true;
  s.wanted[size_t(index)] = true;
  if (!s.working && !s.cancelled && !s.failed) {
    s.working = true;
    try {
      std::thread(Work, shared_).detach();
    } catch (...) {
      s.working = false;
    }
  }
  return false;
}

void OperatorSceneSource::Work(std::shared_ptr<Shared> shared) {
  Shared &s = *shared;
  try {
    if (!s.optics) {
      auto optics = std::make_unique<ScannerOptics>(s.type, s.record);
      SceneViewSize(s.type, &s.viewW, &s.viewH);
      const int w = s.viewW, h = s.viewH;
      // The view must be the corrected image, turned for type 2.
      if (size_t(w) * size_t(h) != size_t(optics->correctedWidth()) * size_t(optics->correctedHeight()) ||
          w == 0)
        throw std::runtime_error("no view for this type");
      s.baseView.resize(size_t(w) * size_t(h));
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) s.baseView[size_t(y) * size_t(w) + size_t(x)] = Shade(0, Noise(s.seed, x, y));
      std::vector<uint8_t> corrected(s.baseView.size());
      ViewToCorrected(s.type, s.baseView.data(), corrected.data());
      auto frame =
          std::make_shared<std::vector<uint8_t>>(size_t(optics->sensorWidth()) * size_t(optics->sensorHeight()));
      optics->Render(corrected.data(), frame->data());
      s.hands = std::make_unique<OperatorHands>(s.seed, s.type, w, h);
      s.optics = std::move(optics);
      std::lock_guard<std::mutex> hold(s.mu);
      s.base = std::move(frame);
      s.drawn.notify_all();
    }
    const int w = s.viewW, h = s.viewH;
    std::vector<float> dark(s.baseView.size(), 0.0f);
    std::vector<uint8_t> view = s.baseView, turned(s.type == 2 ? view.size() : 0);
    for (;;) {
      int index;
      {
        std::lock_guard<std::mutex> hold(s.mu);
        index = s.cancelled ? -1 : NextWanted(s.wanted);
        if (index < 0) {
          s.working = false;
          return;
        }
      }
      std::vector<PixelRect> boxes;
      for (const OperatorHands::Touch &t : s.hands->Touching(OperatorStateOfIndex(index))) {
        const PixelRect box = ImpressionBounds(t.params, w, h);
        if (box.empty()) continue;
        DrawFinger(*t.finger, t.params, w, h, dark.data());
        boxes.push_back(box);
      }
      for (const PixelRect &b : boxes)
        for (int y = b.y0; y < b.y1; ++y)
          for (int x = b.x0; x < b.x1; ++x) {
            const size_t k = size_t(y) * size_t(w) + size_t(x);
            view[k] = Shade(dark[k], Noise(s.seed, x, y));
          }
      const uint8_t *corrected = view.data();
      if (s.type == 2) {
        ViewToCorrected(s.type, view.data(), turned.data());
        corrected = turned.data();
      }
      auto picture = std::make_shared<Picture>();
      for (const PixelRect &b : boxes) {
        // Type 2's corrected image is the view reflected about its anti-diagonal.
        const ScannerOptics::FrameRect reach = s.type == 2
                                                   ? s.optics->Reach(h - b.y1, w - b.x1, h - b.y0, w - b.x0)
                                                   : s.optics->Reach(b.x0, b.y0, b.x1, b.y1);
        if (reach.empty()) continue;
        Patch p{reach, std::vector<uint8_t>(reach.size())};
        s.optics->Render(corrected, reach, p.pixels.data());
        picture->push_back(std::move(p));
      }
      for (const PixelRect &b : boxes)
        for (int y = b.y0; y < b.y1; ++y) {
          const size_t k = size_t(y) * size_t(w) + size_t(b.x0), n = size_t(b.x1 - b.x0);
          std::memcpy(view.data() + k, s.baseView.data() + k, n);
          std::fill_n(dark.data() + k, n, 0.0f);
        }
      std::lock_guard<std::mutex> hold(s.mu);
      s.pictures[size_t(index)] = std::move(picture);
      s.wanted[size_t(index)] = false;
      s.drawn.notify_all();
    }
  } catch (...) {
    // Out of memory, or a type without a view: the platen stays bare.
    std::lock_guard<std::mutex> hold(s.mu);
    s.working = false;
    s.failed = true;
    s.drawn.notify_all();
  }
}

bool OperatorSceneSource::Compose(const OperatorState &state, uint8_t *light) const {
  std::shared_ptr<const std::vector<uint8_t>> base;
  std::shared_ptr<const Picture> picture;
  {
    std::lock_guard<std::mutex> hold(shared_->mu);
    base = shared_->base;
    picture = shared_->pictures[size_t(OperatorStateIndex(state))];
  }
  if (!base || !picture) return false;
  Paint(*base, *picture, sensorW_, light);
  return true;
}

bool OperatorSceneSource::WaitDrawn(const OperatorState &state, std::chrono::milliseconds timeout) const {
  const size_t index = size_t(OperatorStateIndex(state));
  std::unique_lock<std::mutex> hold(shared_->mu);
  Want(int(index));
  return shared_->drawn.wait_for(hold, timeout, [&] {
    return (shared_->base && shared_->pictures[index]) || shared_->failed;
  }) && !shared_->failed;
}

int OperatorSceneSource::Render(void *self, uint64_t frame, int width, int height, uint8_t *light) {
  auto *src = static_cast<OperatorSceneSource *>(self);
  if (width != src->sensorW_ || height != src->sensorH_) return 0;
  const int lamps = src->lamps_ ? src->lamps_->load(std::memory_order_relaxed) : 0;
  int index = OperatorStateIndex(OperatorStateAt(src->FrameTimeMs(frame), lamps));
  std::shared_ptr<const std::vector<uint8_t>> base;
  std::shared_ptr<const Picture> picture;
  {
    std::lock_guard<std::mutex> hold(src->shared_->mu);
    base = src->shared_->base;
    if (!src->Want(index) || !base) {
      // Not drawn yet: the last picture stays; the first is the bare platen.
      if (frame != 0 && src->shown_ != -2) return 0;
      index = base && src->shared_->pictures[0] ? 0 : -1;
    }
    if (index >= 0) picture = src->shared_->pictures[size_t(index)];
  }
  if (index == src->shown_ && frame != 0) return 0;
  src->shown_ = index;
  if (index < 0)
    std::memset(light, SensorLevel(src->shared_->type, kOutsideGrey), size_t(width) * size_t(height));
  else
    Paint(*base, *picture, width, light);
  return 1;
}

}  // namespace belnor::sim
