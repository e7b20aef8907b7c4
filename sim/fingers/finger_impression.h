// Impressions of a synthetic finger: where it lies on the platen, how hard it
// presses, how dry it is, and the minutiae as they appear in the image.
#pragma once

#include <cstdint>
#include <vector>

#include "finger_pattern.h"

namespace belnor::sim {

struct ImpressionParams {
  // Placement: the finger's origin lands at (centreX, centreY) of the image,
  // turned by rotation (radians, +x towards +y).
  float centreX = 0, centreY = 0, rotation = 0;
  // Elastic distortion: amplitude in pixels of a smooth displacement field.
  float distortion = 0;
  uint32_t distortionSeed = 1;
  // Contact region in finger coordinates: an ellipse around (contactX,
  // contactY) with the given half axes, its rim uneven and fading; a
  // different centre shows another part of the finger (partial overlap
  // between impressions).
  float contactX = 0, contactY = 0, contactHalfWidth = 130, contactHalfHeight = 180;
  // Optional band of image columns a rolling finger touches at a time: an
  // ellipse as tall as the contact between bandLeft and bandRight, so that
  // its edges are curved; a band with left >= right is ignored.
  float bandLeft = 0, bandRight = 0;
  float pressure = 0.5f;  // 0 light (thin ridges) .. 1 hard (wide ridges)
  float dryness = 0;      // 0 .. 1: share of the ridges broken up
  uint32_t drynessSeed = 1;
  float pores = 0;  // 0 .. 1: how open the sweat pores on the ridges show
};

// Image -> finger coordinates and back.
void ImageToFinger(const ImpressionParams &p, float ix, float iy, float *fx, float *fy);
void FingerToImage(const ImpressionParams &p, float fx, float fy, float *ix, float *iy);
// A finger minutia as it appears in the image.
Minutia MinutiaInImage(const ImpressionParams &p, const Minutia &m);

// Contact weight 0..1 at an image point (soft at the border).
float ContactWeight(const ImpressionParams &p, float ix, float iy);

// The image rectangle [x0, x1) x [y0, y1) outside which the impression
// leaves the canvas untouched, clipped to width x height (empty when it
// lies wholly outside).
struct PixelRect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool empty() const { return x0 >= x1 || y0 >= y1; }
};
PixelRect ImpressionBounds(const ImpressionParams &p, int width, int height);

// Adds the finger's ridges to a darkness canvas (0 = bare platen, 1 = full
// ridge contact), keeping the darker value where fingers overlap.
void DrawFinger(const Finger &finger, const ImpressionParams &p, int width, int height,
                float *darkness);

// Grey image of a darkness canvas as an optical platen shows it: bright
// background, dark ridges, noise of the given standard deviation.
void ShadeDarkness(const float *darkness, int width, int height, float noise, uint32_t noiseSeed,
                   uint8_t *out);

constexpr uint8_t kPlatenGrey = 236;  // bare platen
constexpr uint8_t kRidgeGrey = 48;    // full ridge contact

// The grey of a darkness (0 .. 1) before noise.
inline float PlatenLevel(float darkness) {
  return float(kPlatenGrey) - darkness * float(kPlatenGrey - kRidgeGrey);
}

struct Impression {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
  ImpressionParams params;
  std::vector<Minutia> minutiae;  // in image coordinates, inside the contact
};

// One impression rendered alone on a width x height platen.
Impression RenderImpression(const Finger &finger, const ImpressionParams &p, int width, int height,
                            float noise = 0, uint32_t noiseSeed = 1);

// `count` impressions of one finger with random rotation, translation,
// elastic distortion, contact position, pressure and dryness drawn from seed.
std::vector<Impression> MakeImpressions(const Finger &finger, int count, uint32_t seed, int width,
                                        int height);

}  // namespace belnor::sim
