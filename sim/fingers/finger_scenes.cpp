// Scene timelines and the arrangement of fingers on the platen.
#include "finger_scenes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "finger_math.h"

namespace belnor::sim {
namespace {

constexpr double kRollStartMs = 1000;  // rolling starts after the finger is down
constexpr float kSceneNoise = 1.5f;    // grey levels, standard deviation
constexpr double kFrameMs = 1000.0 / 30;
constexpr double kDriftPeriodMs = 4000;

// The motion is drawn in steps, and the sensor noise takes turns between a
// few pictures: a stream then shows a few dozen distinct pictures per
// cycle, which a scanner can render once and keep.
constexpr int kPressSteps = 3, kRollSteps = 20, kDriftSteps = 24;
constexpr uint32_t kNoisePictures = 2;

float Ramp(double t, double t0, double t1) {
  return float(std::clamp((t - t0) / (t1 - t0), 0.0, 1.0));
}

int Step(float ramp, int steps) { return std::min(steps - 1, int(ramp * float(steps))); }

// Noise picture for the time, so that a still scene still flickers like a
// sensor does, and one time always gives one image.
uint32_t NoisePicture(double tMs) { return uint32_t(std::max(0.0, tMs) / kFrameMs) % kNoisePictures; }

}  // namespace

bool ParseSceneSpec(const std::string &text, SceneSpec *spec) {
  SceneSpec s;
  std::string name = text;
  if (name.rfind("image:", 0) == 0) {
    s.kind = SceneKind::kImage;
    s.imagePath = name.substr(6);
    if (s.imagePath.empty()) return false;
    *spec = s;
    return true;
  }
  const size_t at = name.find('@');
  if (at != std::string::npos) {
    const std::string seed = name.substr(at + 1);
    char *end = nullptr;
    const unsigned long v = std::strtoul(seed.c_str(), &end, 10);
    if (seed.empty() || *end != '\0') return false;
    s.seed = uint32_t(v);
    name = name.substr(0, at);
  }
  static const struct {
    const char *name;
    SceneKind kind;
    bool moving;
  } kNames[] = {{"empty", SceneKind::kEmpty, false},
                {"flat", SceneKind::kFlatFinger, false},
                {"flat-moving", SceneKind::kFlatFinger, true},
                {"roll", SceneKind::kRollingFinger, false},
                {"slap-left", SceneKind::kSlapLeft, false},
                {"slap-right", SceneKind::kSlapRight, false},
                {"thumbs", SceneKind::kTwoThumbs, false},
                {"operator", SceneKind::kOperator, false}};
  for (const auto &n : kNames) {
    if (name == n.name) {
      s.kind = n.kind;
      s.moving = n.moving;
      *spec = s;
      return true;
    }
  }
  return false;
}

void SceneViewSize(int deviceType, int *width, int *height) {
  switch (deviceType) {
    case 1: case 3: *width = 640, *height = 640; return;
    case 2: *width = 258, *height = 360; return;
    case 4: *width = 2304, *height = 2304; return;
    case 5: *width = 1600, *height = 1500; return;
    default: *width = 0, *height = 0; return;
  }
}

void ViewToCorrected(int deviceType, const uint8_t *view, uint8_t *corrected) {
  int w, h;
  SceneViewSize(deviceType, &w, &h);
  if (deviceType != 2) {
    std::memcpy(corrected, view, size_t(w) * h);
    return;
  }
  // View pixel (row i, column j) goes to corrected row w - 1 - j, column
  // h - 1 - i; corrected rows are h long.
  for (int i = 0; i < h; ++i)
    for (int j = 0; j < w; ++j) corrected[size_t(w - 1 - j) * h + (h - 1 - i)] = view[size_t(i) * w + j];
}

namespace {

// A hand lies as on the four-finger platen, 1600 x 1500 at 500 dpi, whatever
// the view: fingers keep their spacing and never overlap.
constexpr float kSlapWidth = 1600, kSlapHeight = 1500;

// On a platen narrower than the hand the operator centres the finger
// nearest the middle and the others fall off its edges, as a hand put on a
// single-finger scanner does.
void CentreOneFingerOnASmallPlaten(std::vector<PlacedFinger> *hand, int width, int height) {
  if (width >= kSlapWidth || hand->empty()) return;
  const float cx = width / 2.0f, cy = height / 2.0f;
  const PlacedFinger *nearest = &hand->front();
  for (const PlacedFinger &f : *hand)
    if (std::fabs(f.base.centreX - cx) < std::fabs(nearest->base.centreX - cx)) nearest = &f;
  const float dx = cx - nearest->base.centreX, dy = cy - nearest->base.centreY;
  for (PlacedFinger &f : *hand) {
    f.base.centreX += dx;
    f.base.centreY += dy;
  }
}

}  // namespace

std::vector<PlacedFinger> PlaceFingers(SceneKind kind, uint32_t seed, int width, int height) {
  std::vector<PlacedFinger> placed;
  const float cx = width / 2.0f, cy = height / 2.0f;
  // Finger sizes scale with the platen only in that a small window shows a
  // part of the finger; prints are always at 500 dpi.
  // finger: which of the operator's fingers, 0 the single one, 1 .. 5 the
  // left hand from the little finger to the thumb, 6 .. 10 the right hand
  // from the thumb to the little finger: every one its own pattern, and
  // (with the default seed) one that both libraries' matchers tell from
  // the others (tests/fingers).
  auto add = [&](uint32_t finger, float x, float y, float rotation, float size) {
    constexpr uint32_t kFirstPattern = 80;
    PlacedFinger pf{SharedFinger(HashCombine(seed, kFirstPattern + finger)), {}};
    ImpressionParams &p = pf.base;
    p.centreX = x;
    p.centreY = y;
    p.rotation = rotation;
    p.contactHalfWidth = pf.finger->halfWidth * size;
    p.contactHalfHeight = pf.finger->halfHeight * size;
    p.distortionSeed = HashCombine(seed, finger + 100);
    p.drynessSeed = HashCombine(seed, finger + 200);
    placed.push_back(std::move(pf));
  };
  Random rng(HashCombine(seed, uint32_t(kind)));
  switch (kind) {
    case SceneKind::kFlatFinger:
      add(0, cx, cy, rng.Uniform(-0.15f, 0.15f), 1.0f);
      break;
    case SceneKind::kRollingFinger:
      add(0, cx, cy, rng.Uniform(-0.05f, 0.05f), 1.0f);
      WidenForRolling(&placed.back().base, *placed.back().finger, width);
      break;
    case SceneKind::kSlapLeft:
    case SceneKind::kSlapRight: {
      // Little, ring, middle, index from the left for the left hand; the
      // right hand mirrored. Slaps press more of each finger.
      const float xs[] = {0.17f, 0.38f, 0.61f, 0.84f};
      const float ys[] = {0.62f, 0.47f, 0.40f, 0.46f};
      const float turn[] = {-0.32f, -0.12f, 0.04f, 0.2f};
      const float size[] = {0.8f, 0.92f, 1.0f, 0.95f};
      for (int i = 0; i < 4; ++i) {
        const bool right = kind == SceneKind::kSlapRight;
        const int k = right ? 3 - i : i;
        const float s = size[k];
        add(uint32_t(right ? 10 - k : 1 + k), cx + (xs[i] - 0.5f) * kSlapWidth, cy + (ys[k] - 0.5f) * kSlapHeight,
            right ? -turn[k] : turn[k], s);
        placed.back().base.contactHalfHeight *= 1.3f;
        placed.back().base.contactY = 0.25f * placed.back().base.contactHalfHeight;
      }
      CentreOneFingerOnASmallPlaten(&placed, width, height);
      break;
    }
    case SceneKind::kTwoThumbs:
      for (int i = 0; i < 2; ++i) {
        add(uint32_t(5 + i), cx + (i == 0 ? -0.2f : 0.2f) * kSlapWidth, cy, i == 0 ? 0.3f : -0.3f, 1.15f);
        placed.back().base.contactHalfHeight *= 1.2f;
      }
      CentreOneFingerOnASmallPlaten(&placed, width, height);
      break;
    case SceneKind::kEmpty:
    case SceneKind::kImage:
    case SceneKind::kOperator:
      break;
  }
  return placed;
}

ImpressionParams Pressed(const ImpressionParams &base, float press) {
  ImpressionParams p = base;
  const float grow = 0.55f + 0.45f * press;
  p.contactHalfWidth *= grow;
  p.contactHalfHeight *= grow;
  p.pressure = 0.2f + 0.35f * press;
  p.dryness = 0.15f;
  p.pores = 0.9f;
  p.distortion = 1.5f * press;
  return p;
}

void WidenForRolling(ImpressionParams *base, const Finger &finger, int viewWidth) {
  base->contactHalfWidth = std::min(viewWidth / 2.0f - 10, 1.7f * finger.halfWidth);
}

void RollBand(ImpressionParams *p, const ImpressionParams &base, float roll) {
  const float half = p->contactHalfWidth, band = 0.45f * base.contactHalfWidth;
  const float centre = p->centreX - half + band + roll * 2 * (half - band);
  p->bandLeft = centre - band;
  p->bandRight = centre + band;
}

SceneRenderer::SceneRenderer(const SceneSpec &spec, int width, int height)
    : spec_(spec), width_(width), height_(height), placed_(PlaceFingers(spec.kind, spec.seed, width, height)) {
  if (spec.kind == SceneKind::kImage && !ReadGreyBmp(spec.imagePath, &image_)) image_ = GreyImage{};
}

SceneRenderer::Moment SceneRenderer::MomentAt(double tMs) const {
  Moment m;
  m.noise = NoisePicture(tMs);
  const double t = std::fmod(std::max(0.0, tMs), kSceneCycleMs);
  if (placed_.empty() || t < kPlaceMs || t >= kLiftMs) return m;
  if (t < kHoldMs) {
    m.phase = Moment::kPressing;
    m.step = Step(Ramp(t, kPlaceMs, kHoldMs), kPressSteps);
    return m;
  }
  m.phase = Moment::kHeld;
  if (spec_.kind == SceneKind::kRollingFinger && t >= kRollStartMs)
    m.step = 1 + int(std::lround(Ramp(t, kRollStartMs, kLiftMs - 500) * float(kRollSteps)));
  else if (spec_.kind == SceneKind::kFlatFinger && spec_.moving)
    m.step = 1 + int((t - kHoldMs) / kDriftPeriodMs * kDriftSteps) % kDriftSteps;
  return m;
}

uint64_t SceneRenderer::PictureAt(double tMs) const {
  const Moment m = MomentAt(tMs);
  return uint64_t(m.phase) << 40 | uint64_t(uint32_t(m.step)) << 8 | m.noise;
}

std::vector<ImpressionParams> SceneRenderer::ParamsAt(double tMs) const {
  std::vector<ImpressionParams> out;
  const Moment m = MomentAt(tMs);
  if (m.phase == Moment::kBare) return out;
  const float press = m.phase == Moment::kPressing ? float(m.step) / kPressSteps : 1.0f;
  for (const PlacedFinger &pl : placed_) {
    ImpressionParams p = Pressed(pl.base, press);
    if (spec_.kind == SceneKind::kFlatFinger && spec_.moving && m.step > 0) {
      const double phase = 2 * 3.14159265358979 * (m.step - 1) / kDriftSteps;
      p.centreX += float(40 * std::sin(phase));
      p.centreY += float(20 * std::sin(2 * phase));
      p.rotation += float(0.08 * std::sin(phase));
    }
    // The band that touches moves from one side of the print to the other.
    if (spec_.kind == SceneKind::kRollingFinger)
      RollBand(&p, pl.base, m.step > 0 ? float(m.step - 1) / kRollSteps : 0.0f);
    out.push_back(p);
  }
  return out;
}

bool SceneRenderer::FingerPresent(double tMs) const { return !ParamsAt(tMs).empty(); }

std::vector<Impression> SceneRenderer::Placements(double tMs) const {
  std::vector<Impression> out;
  const std::vector<ImpressionParams> params = ParamsAt(tMs);
  for (size_t i = 0; i < params.size(); ++i) {
    const Finger &f = *placed_[i].finger;
    Impression im;
    im.width = width_;
    im.height = height_;
    im.params = params[i];
    for (const Minutia &m : f.minutiae) {
      const Minutia q = MinutiaInImage(params[i], m);
      if (q.x >= 0 && q.y >= 0 && q.x < width_ && q.y < height_ &&
          ContactWeight(params[i], q.x, q.y) >= 0.999f)
        im.minutiae.push_back(q);
    }
    out.push_back(std::move(im));
  }
  return out;
}

void SceneRenderer::Render(double tMs, uint8_t *out) const {
  const size_t n = size_t(width_) * height_;
  std::vector<float> dark(n, 0.0f);
  const std::vector<ImpressionParams> params = ParamsAt(tMs);
  for (size_t i = 0; i < params.size(); ++i)
    DrawFinger(*placed_[i].finger, params[i], width_, height_, dark.data());
  ShadeDarkness(dark.data(), width_, height_, kSceneNoise, HashCombine(spec_.seed, MomentAt(tMs).noise), out);
  if (spec_.kind == SceneKind::kImage && image_.width > 0) {
    // Centred, cropped to the view; the rest stays bare platen.
    const int ox = (width_ - image_.width) / 2, oy = (height_ - image_.height) / 2;
    for (int y = std::max(0, oy); y < std::min(height_, oy + image_.height); ++y)
      for (int x = std::max(0, ox); x < std::min(width_, ox + image_.width); ++x)
        out[size_t(y) * width_ + x] = image_.pixels[size_t(y - oy) * image_.width + (x - ox)];
  }
}

}  // namespace belnor::sim
