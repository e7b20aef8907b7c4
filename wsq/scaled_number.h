// Scaled numbers of the stream: value = M / 10^S, S an 8-bit scale and M a
// 16- or 32-bit unsigned integer.
#pragma once

#include <cstdint>

namespace wsq {

// Largest scale S with v * 10^S below limit (v >= 0, finite, below limit).
// Returns false for values that cannot be written.
bool ScaleForField(float v, uint32_t limit, uint8_t *scale, uint32_t *value);

// M divided by 10 in single precision, S times.
float UnscaleField(uint8_t scale, uint32_t value);

constexpr uint32_t kLimit16 = 65535;
constexpr uint32_t kLimit32 = 4294967295u;

}  // namespace wsq
