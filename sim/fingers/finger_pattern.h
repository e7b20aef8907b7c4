// A synthetic fingertip: a ridge flow from its cores and deltas, ridges grown
// along it by oriented filtering, and the minutiae that growth left, traced
// on the ridges themselves so that their positions, angles and types are
// known.
//
// Finger coordinates are pixels at 500 dpi with the origin at the centre of
// the fingertip, x to the right and y down (the tip is up). Angles are
// radians from +x towards +y. A minutia's angle points along the ridge flow
// into the line that ends there: the ridge for an ending, the valley between
// the two branches for a bifurcation.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace belnor::sim {

enum class FingerPattern { kArch, kLeftLoop, kRightLoop, kWhorl };
enum class MinutiaType : uint8_t { kEnding = 1, kBifurcation = 2 };

struct Minutia {
  float x, y, angle;
  MinutiaType type;
};

struct Singularity {
  float x, y;
  bool core;  // else a delta
};

// Ridge direction and spacing over the finger. The direction is half the
// winding of the cores and deltas (each core turns the flow half a turn one
// way, each delta the other), bent over the tip to follow its outline, plus
// the hump of an arch; everything added is smooth, so the flow has no seam
// and no singular point besides the finger's own.
struct RidgeFlow {
  FingerPattern pattern = FingerPattern::kArch;
  std::vector<Singularity> singularities;  // cores first
  float tipBend = 0, tipY = 0;             // how far the ridges over the tip turn down at its sides
  float swerve = 0;                        // how far the flow wanders from the plain pattern
  float archHeight = 0, archWidth = 1, archY = 0;
  float period = 9, periodSlope = 0;  // mean period and its rise towards the joint
  uint32_t periodSeed = 1;

  // Ridge direction at a point, radians, defined up to a half turn.
  float Direction(float x, float y) const;
  // Ridge period at a point, pixels: 8 .. 11, varying smoothly.
  float Period(float x, float y) const;
};

class Finger {
 public:
  static constexpr int kExtent = 300;  // the pattern covers |x|, |y| <= kExtent
  static constexpr int kSide = 2 * kExtent + 1;

  FingerPattern pattern = FingerPattern::kArch;
  float period = 9;             // mean ridge period in pixels
  float halfWidth, halfHeight;  // extent of a flat impression's contact
  std::vector<Minutia> minutiae;
  std::vector<Singularity> singularities;
  RidgeFlow flow;
  uint32_t skin = 1;  // where its pores open and how its ridge edges run

  // Ridge signal: about 1 on a ridge's centre line, -1 in a valley's, a
  // smooth profile between; sampled from the grown pattern (-1 beyond it).
  float Wave(float x, float y) const;

  std::vector<float> wave;  // kSide^2 samples, one per pixel
};

Finger MakeFinger(uint32_t seed);
Finger MakeFinger(uint32_t seed, FingerPattern pattern);

// MakeFinger(seed), made once per process and shared: growing a finger's
// ridges takes a while, and every scene of the process shows the same
// fingers.
std::shared_ptr<const Finger> SharedFinger(uint32_t seed);

}  // namespace belnor::sim
