// Constant tap and kernel tables of the ridge enhancement, period and
// filtering stages, built once from their stored rows and symmetry rules.
#pragma once
#include <cstdint>

namespace minutiae {

struct EnhanceTap {
  uint8_t weight;
  int8_t dy;
  int8_t dx;
};
struct EnhanceRow {
  uint8_t centre;
  uint8_t count;
  EnhanceTap taps[7];
};
struct KernelTap {
  int8_t dx;
  int8_t dy;
  int16_t weight;
};
struct ProbeOffset {
  int8_t dx;
  int8_t dy;
};

struct RidgeTables {
  EnhanceRow enhance[120];
  ProbeOffset periodProbe[120][13];  // index 1..12
  uint8_t periodScale[120];
  uint8_t modeOffset[64][32];
  KernelTap kernels[4][40][5];
};

const RidgeTables &ridgeTables();
inline int kernelClass(int direction) { return ((direction + 1) / 3) % 40; }

}  // namespace minutiae
