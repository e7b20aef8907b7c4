// Rendering a finger through an impression's placement, contact and skin.
#include "finger_impression.h"

#include <algorithm>
#include <cmath>

#include "finger_math.h"

namespace belnor::sim {
namespace {

constexpr float kDistortionWavelength = 260.0f;

float Smooth01(float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  return t * t * (3 - 2 * t);
}

// The impression's placement with its trigonometry done once.
struct Placement {
  float cx, cy, cosR, sinR;
  float amplitude, k, e1x, e1y, e2x, e2y, ph1, ph2;
  explicit Placement(const ImpressionParams &p)
      : cx(p.centreX), cy(p.centreY), cosR(std::cos(p.rotation)), sinR(std::sin(p.rotation)),
        amplitude(p.distortion), k(2 * kPi / kDistortionWavelength) {
    const uint32_t s = p.distortionSeed;
    const float a1 = float(Hash32(s) % 6283) / 1000, a2 = float(Hash32(s + 1) % 6283) / 1000;
    e1x = std::cos(a1);
    e1y = std::sin(a1);
    e2x = std::cos(a2);
    e2y = std::sin(a2);
    ph1 = float(Hash32(s + 2) % 6283) / 1000;
    ph2 = float(Hash32(s + 3) % 6283) / 1000;
  }
  // Displacement in finger coordinates as a smooth function of the image point.
  void Displacement(float ix, float iy, float *dx, float *dy) const {
    if (amplitude == 0) {
      *dx = *dy = 0;
      return;
    }
    *dx = amplitude * std::sin(k * (ix * e1x + iy * e1y) + ph1);
    *dy = amplitude * std::sin(k * (ix * e2x + iy * e2y) + ph2);
  }
  void ToFinger(float ix, float iy, float *fx, float *fy) const {
    const float rx = ix - cx, ry = iy - cy;
    float dx, dy;
    Displacement(ix, iy, &dx, &dy);
    *fx = cosR * rx + sinR * ry + dx;
    *fy = -sinR * rx + cosR * ry + dy;
  }
  void ToImage(float fx, float fy, float *ix, float *iy) const {
    // Fixed point of ix = centre + R (f - D(ix)): the displacement changes
    // slowly, so this converges quickly.
    float x = cx + cosR * fx - sinR * fy, y = cy + sinR * fx + cosR * fy;
    for (int i = 0; i < 30; ++i) {
      float dx, dy;
      Displacement(x, y, &dx, &dy);
      const float ux = fx - dx, uy = fy - dy;
      x = cx + cosR * ux - sinR * uy;
      y = cy + sinR * ux + cosR * uy;
    }
    *ix = x;
    *iy = y;
  }
};

// How deep a point lies inside the contact, in pixels from its rim (<= 0
// outside): the ellipse of the contact, its outline a little uneven, and for
// a rolling finger the band that touches now.
float ContactDepth(const ImpressionParams &p, float fx, float fy, float ix, float iy) {
  const float a = p.contactHalfWidth, b = p.contactHalfHeight;
  const float dx = fx - p.contactX, dy = fy - p.contactY;
  const float u = dx / a, v = dy / b;
  // The tip is round, the joint end cut almost straight.
  float r = v < 0 ? std::sqrt(u * u + v * v) : std::sqrt(std::sqrt(u * u * u * u + v * v * v * v));
  r *= 1.0f + 0.08f * (ValueNoise(p.distortionSeed + 7, fx, fy, 40) - 0.5f) +
       0.16f * (ValueNoise(p.distortionSeed + 8, fx, fy, 110) - 0.5f);
  if (r >= 1.0f) return 0.0f;
  // The radius of the outline in this direction turns the share into pixels.
  float depth = r > 1e-3f ? (1.0f - r) * std::hypot(dx, dy) / r : std::min(a, b);
  depth = std::min(depth, (1.0f - r) * std::max(a, b));
  if (p.bandLeft < p.bandRight) {
    const float half = 0.5f * (p.bandRight - p.bandLeft), centre = 0.5f * (p.bandLeft + p.bandRight);
    const float bu = (ix - centre) / half, bv = (iy - p.centreY - p.contactY) / (1.1f * b);
    const float rb = std::sqrt(bu * bu + bv * bv);
    if (rb >= 1.0f) return 0.0f;
    depth = std::min(depth, (1.0f - rb) * half);
  }
  return depth;
}

// Weight of the contact at a depth: the skin lifts off over the last pixels.
float ContactOf(float depth) { return Smooth01(depth / 5.0f); }

// Sweat pores: most cells of a grid fixed on the skin hold one, somewhere in
// the cell; 0 .. 1, how far a point lies inside one.
float Pore(uint32_t skin, float fx, float fy) {
  constexpr float kCell = 6.5f;
  const int cx = int(std::floor(fx / kCell)), cy = int(std::floor(fy / kCell));
  float open = 0;
  for (int j = cy - 1; j <= cy + 1; ++j)
    for (int i = cx - 1; i <= cx + 1; ++i) {
      const uint32_t h = HashCombine(skin, uint32_t(i) * 73856093u ^ uint32_t(j) * 19349663u);
      if ((h & 0xFF) >= 180) continue;
      const float px = (float(i) + float((h >> 8) & 0xFF) / 256.0f) * kCell;
      const float py = (float(j) + float((h >> 16) & 0xFF) / 256.0f) * kCell;
      const float radius = 1.5f + 1.2f * float(h >> 24) / 256.0f;
      const float d2 = ((fx - px) * (fx - px) + (fy - py) * (fy - py)) / (radius * radius);
      if (d2 < 1.0f) open = std::max(open, Smooth01(2.0f * (1.0f - d2)));
    }
  return open;
}

}  // namespace

void ImageToFinger(const ImpressionParams &p, float ix, float iy, float *fx, float *fy) {
  Placement(p).ToFinger(ix, iy, fx, fy);
}

void FingerToImage(const ImpressionParams &p, float fx, float fy, float *ix, float *iy) {
  Placement(p).ToImage(fx, fy, ix, iy);
}

Minutia MinutiaInImage(const ImpressionParams &p, const Minutia &m) {
  const Placement pl(p);
  float x, y, x2, y2;
  pl.ToImage(m.x, m.y, &x, &y);
  pl.ToImage(m.x + 2 * std::cos(m.angle), m.y + 2 * std::sin(m.angle), &x2, &y2);
  return {x, y, std::atan2(y2 - y, x2 - x), m.type};
}

float ContactWeight(const ImpressionParams &p, float ix, float iy) {
  float fx, fy;
  ImageToFinger(p, ix, iy, &fx, &fy);
  return ContactOf(ContactDepth(p, fx, fy, ix, iy));
}

PixelRect ImpressionBounds(const ImpressionParams &p, int width, int height) {
  const float reach = std::max(p.contactHalfWidth, p.contactHalfHeight) +
                      std::hypot(p.contactX, p.contactY) + p.distortion + 8;
  PixelRect r;
  r.x0 = std::max(0, int(p.centreX - reach));
  r.x1 = std::min(width, int(p.centreX + reach) + 1);
  r.y0 = std::max(0, int(p.centreY - reach));
  r.y1 = std::min(height, int(p.centreY + reach) + 1);
  if (p.bandLeft < p.bandRight) {
    // No contact beyond the band's edges.
    r.x0 = std::max(r.x0, int(std::floor(p.bandLeft)));
    r.x1 = std::min(r.x1, int(std::ceil(p.bandRight)) + 1);
  }
  return r;
}

void DrawFinger(const Finger &finger, const ImpressionParams &p, int width, int height,
                float *darkness) {
  // Only the contact's bounding box can change.
  const PixelRect box = ImpressionBounds(p, width, height);
  const Placement pl(p);
  const uint32_t skin = finger.skin;
  for (int y = box.y0; y < box.y1; ++y) {
    float *row = darkness + size_t(y) * width;
    for (int x = box.x0; x < box.x1; ++x) {
      float fx, fy;
      pl.ToFinger(float(x), float(y), &fx, &fy);
      const float depth = ContactDepth(p, fx, fy, float(x), float(y));
      if (depth <= 0) continue;
      // Pressure widens the ridges; it varies over the finger and falls off
      // towards the rim, where only the ridge crests still touch.
      const float pressure = p.pressure + 0.24f * (ValueNoise(skin + 3, fx, fy, 70) - 0.5f) -
                             0.45f * (1.0f - Smooth01(depth / 10.0f));
      const float threshold = 0.6f - 1.2f * pressure;
      // Ridge edges are not smooth lines: a fine unevenness moves them.
      const float wave = finger.Wave(fx, fy) + 0.36f * (ValueNoise(skin + 1, fx, fy, 2.5f) - 0.5f);
      // A soft grey profile across each ridge, darker and lighter along it.
      float ridge = Smooth01((wave - threshold) / 0.65f + 0.5f) * (0.88f + 0.12f * ValueNoise(skin + 2, fx, fy, 9));
      if (p.pores > 0) ridge *= 1.0f - 0.9f * p.pores * Pore(skin, fx, fy);
      if (p.dryness > 0) {
        // Dry skin touches in patches along the ridges.
        const float patch = ValueNoise(p.drynessSeed, fx, fy, 3.5f);
        ridge *= Smooth01((patch - p.dryness * 0.8f) / 0.15f + 0.5f);
      }
      // Nor are the valleys bare platen: moisture and the skin between the
      // ridges show faintly, unevenly.
      ridge += (1.0f - ridge) * (0.04f + 0.1f * ValueNoise(skin + 5, fx, fy, 3.0f));
      row[x] = std::max(row[x], ridge * ContactOf(depth));
    }
  }
}

void ShadeDarkness(const float *darkness, int width, int height, float noise, uint32_t noiseSeed,
                   uint8_t *out) {
  Random rng(noiseSeed);
  const size_t n = size_t(width) * height;
  for (size_t k = 0; k < n; ++k) {
    float v = PlatenLevel(darkness[k]);
    if (noise > 0) {
      // Sum of uniforms: close enough to Gaussian for sensor noise.
      const float u = rng.Uniform(0, 1) + rng.Uniform(0, 1) + rng.Uniform(0, 1) - 1.5f;
      v += noise * u * 2.0f;
    }
    out[k] = uint8_t(std::clamp(v + 0.5f, 0.0f, 255.0f));
  }
}

Impression RenderImpression(const Finger &finger, const ImpressionParams &p, int width, int height,
                            float noise, uint32_t noiseSeed) {
  Impression im;
  im.width = width;
  im.height = height;
  im.params = p;
  std::vector<float> dark(size_t(width) * height, 0.0f);
  DrawFinger(finger, p, width, height, dark.data());
  im.pixels.resize(dark.size());
  ShadeDarkness(dark.data(), width, height, noise, noiseSeed, im.pixels.data());
  for (const Minutia &m : finger.minutiae) {
    const Minutia q = MinutiaInImage(p, m);
    if (q.x < 8 || q.y < 8 || q.x > width - 9 || q.y > height - 9) continue;
    if (ContactWeight(p, q.x, q.y) < 0.999f) continue;
    // The contact must reach well past the minutia for it to be seen.
    bool inside = true;
    for (int a = 0; a < 8 && inside; ++a) {
      const float r = 2.5f * finger.period, t = float(a) * kPi / 4;
      inside = ContactWeight(p, q.x + r * std::cos(t), q.y + r * std::sin(t)) >= 0.999f;
    }
    if (inside) im.minutiae.push_back(q);
  }
  return im;
}

std::vector<Impression> MakeImpressions(const Finger &finger, int count, uint32_t seed, int width,
                                        int height) {
  std::vector<Impression> out;
  for (int i = 0; i < count; ++i) {
    Random rng(HashCombine(seed, uint32_t(i)));
    ImpressionParams p;
    p.centreX = width / 2.0f + rng.Uniform(-30, 30);
    p.centreY = height / 2.0f + rng.Uniform(-30, 30);
    p.rotation = rng.Uniform(-0.35f, 0.35f);
    p.distortion = rng.Uniform(0, 5);
    p.distortionSeed = rng.Next();
    p.contactHalfWidth = finger.halfWidth * rng.Uniform(0.85f, 1.05f);
    p.contactHalfHeight = finger.halfHeight * rng.Uniform(0.85f, 1.05f);
    p.contactX = rng.Uniform(-40, 40);
    p.contactY = rng.Uniform(-50, 50);
    p.pressure = rng.Uniform(0.3f, 0.7f);
    p.dryness = rng.Uniform(0, 0.3f);
    p.drynessSeed = rng.Next();
    p.pores = rng.Uniform(0.3f, 1.0f);
    out.push_back(RenderImpression(finger, p, width, height, rng.Uniform(2, 6), rng.Next()));
  }
  return out;
}

}  // namespace belnor::sim
