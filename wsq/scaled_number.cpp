#include "scaled_number.h"

#include <cmath>

namespace wsq {

bool ScaleForField(float v, uint32_t limit, uint8_t *scale, uint32_t *value) {
  if (!std::isfinite(v) || v < 0.0f) return false;
  if (v == 0.0f) {
    *scale = 0;
    *value = 0;
    return true;
  }
  const float flimit = float(limit);
  if (v >= flimit) return false;
  int mults = 0;
  float product = v;
  while (product < flimit) {
    product *= 10.0f;
    ++mults;
    // Tiny values would need a scale beyond 8 bits.
    if (mults > 256) return false;
  }
  const double m = std::round(double(product) / 10.0);  // half away from zero
  if (mults - 1 > 255 || m > double(limit)) return false;
  *scale = uint8_t(mults - 1);
  *value = uint32_t(m);
  return true;
}

float UnscaleField(uint8_t scale, uint32_t value) {
  float v = float(value);
  for (int i = 0; i < scale; ++i) v /= 10.0f;
  return v;
}

}  // namespace wsq
