// What lies on the platen at a given time: the ideal corrected image a
// scanner of each type should deliver, before its optics.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "finger_impression.h"
#include "grey_bmp.h"

namespace belnor::sim {

enum class SceneKind {
  kEmpty,         // bare platen
  kFlatFinger,    // one finger placed, held (optionally moving) and lifted
  kRollingFinger, // a rolled print revealed by a contact band moving across, then lifted
  kSlapLeft,      // four fingers of the left hand
  kSlapRight,     // four fingers of the right hand
  kTwoThumbs,     // both thumbs side by side
  kImage,         // a grey BMP file, centred on the platen
  kOperator,      // an operator at the scanner (operator_scene.h); no SceneRenderer kind
};

struct SceneSpec {
  SceneKind kind = SceneKind::kEmpty;
  uint32_t seed = 1;
  bool moving = false;    // flat finger drifts about while held
  std::string imagePath;  // kImage
};

// Text form used in configuration: "empty", "flat", "flat-moving", "roll",
// "slap-left", "slap-right", "thumbs", "operator", "image:PATH", each
// optionally followed by "@SEED" (finger kinds), e.g. "slap-right@7". False
// for unknown text.
bool ParseSceneSpec(const std::string &text, SceneSpec *spec);

// Timeline of the finger kinds, in milliseconds from the scene's start,
// repeating every kSceneCycleMs: platen bare until kPlaceMs, the finger
// pressing down until kHoldMs, held (rolled, for a rolling finger) until
// kLiftMs, bare again until the cycle ends.
constexpr double kSceneCycleMs = 8000, kPlaceMs = 400, kHoldMs = 700, kLiftMs = 6500;

// Size of the image a scene is drawn at for a device type: the corrected
// image, except type 2, whose corrected image is turned a quarter (the
// library reflects it about its anti-diagonal) and whose scenes are drawn
// upright at 258 x 360. 0 x 0 for an unknown type.
void SceneViewSize(int deviceType, int *width, int *height);

// The corrected image for a view drawn at SceneViewSize: a copy, except for
// type 2, where it is the view reflected about its anti-diagonal.
void ViewToCorrected(int deviceType, const uint8_t *view, uint8_t *corrected);

// A finger of a scene and where it lies when held.
struct PlacedFinger {
  std::shared_ptr<const Finger> finger;
  ImpressionParams base;  // before pressing, Pressed and RollBand
};

// The fingers of a finger kind on a width x height view, the single ones at
// the view's centre.
std::vector<PlacedFinger> PlaceFingers(SceneKind kind, uint32_t seed, int width, int height);

// A placement pressed down by `press` (0 touching .. 1 held): the contact
// grows from its centre and the ridges widen.
ImpressionParams Pressed(const ImpressionParams &base, float press);

// Nail to nail: a rolled print is much wider than a flat one.
void WidenForRolling(ImpressionParams *base, const Finger &finger, int viewWidth);

// Limits a pressed placement of a rolling finger to the band that touches
// when the roll has gone `roll` (0 .. 1) of the way from left to right.
void RollBand(ImpressionParams *p, const ImpressionParams &base, float roll);

class SceneRenderer {
 public:
  // A scene drawn at width x height (see SceneViewSize). An image scene whose
  // file cannot be read shows the bare platen.
  SceneRenderer(const SceneSpec &spec, int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  const SceneSpec &spec() const { return spec_; }

  // The view at tMs milliseconds since the scene started; the same time
  // gives the same image.
  void Render(double tMs, uint8_t *out) const;

  // Which picture the scene shows at tMs: equal values, equal images (the
  // motion moves in steps, the noise takes turns between a few pictures).
  uint64_t PictureAt(double tMs) const;

  // Whether any finger touches the platen at tMs.
  bool FingerPresent(double tMs) const;

  // The placement of each finger on the platen at tMs (empty when none
  // touches), with its minutiae where they appear in the view.
  std::vector<Impression> Placements(double tMs) const;

 private:
  // Where the timeline stands: bare, pressing down (step of the press) or
  // held (step of the roll or the drift, 0 before it starts).
  struct Moment {
    enum Phase { kBare, kPressing, kHeld } phase = kBare;
    int step = 0;
    uint32_t noise = 0;
  };
  Moment MomentAt(double tMs) const;
  std::vector<ImpressionParams> ParamsAt(double tMs) const;

  SceneSpec spec_;
  int width_, height_;
  std::vector<PlacedFinger> placed_;
  GreyImage image_;
};

}  // namespace belnor::sim
