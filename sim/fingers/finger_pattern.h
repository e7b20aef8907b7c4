// A synthetic fingertip: ridge flow with cores and deltas, and a phase model
// whose spiral points are the minutiae, so their positions, angles and types
// are known exactly.
//
// Finger coordinates are pixels at 500 dpi with the origin at the centre of
// the fingertip, x to the right and y down (the tip is up). Angles are
// radians from +x towards +y. A minutia's angle points along the ridge flow
// into the line that ends there: the ridge for an ending, the valley between
// the two branches for a bifurcation.
#pragma once

#include <cstdint>
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

// The ridge coordinate: ridges are its level lines, a period apart.
struct RidgeFlow {
  FingerPattern pattern;
  float axisX0, axisY0, axisX1, axisY1;  // loop ray or whorl segment
  float topCentreY, topRadius, topOffset;
  float bottomY, bottomOffset, bottomBend;
  float archHeight, archWidth, archY;
  float softness;
  float Coordinate(float x, float y) const;
  // Largest weight among the blended ridge systems at (x, y): near 1 away
  // from the seams where systems meet.
  float Dominance(float x, float y) const;
};

struct Spiral {
  float x, y;
  int polarity;  // +1 or -1
};

class Finger {
 public:
  static constexpr int kExtent = 300;  // the pattern covers |x|, |y| <= kExtent

  FingerPattern pattern;
  float period;                 // ridge period in pixels
  float halfWidth, halfHeight;  // extent of a flat impression's contact
  std::vector<Minutia> minutiae;
  std::vector<Singularity> singularities;
  RidgeFlow flow;
  std::vector<Spiral> spirals;  // one per minutia, same order

  // Phase at a point from the model itself.
  float Phase(float x, float y) const;
  // Ridge signal cos(phase): 1 on a ridge's centre line, -1 in a valley's;
  // sampled from the stored pattern (-1 beyond it).
  float Wave(float x, float y) const;

  std::vector<float> wave;  // (2 kExtent + 1)^2 samples, one per pixel
};

Finger MakeFinger(uint32_t seed);
Finger MakeFinger(uint32_t seed, FingerPattern pattern);

}  // namespace belnor::sim
