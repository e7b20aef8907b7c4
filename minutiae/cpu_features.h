// The processor's vector extensions, asked once per process: the vector
// paths are chosen by them at run time.
#pragma once

#if defined(__x86_64__) || defined(__i386__)

namespace minutiae {

inline bool cpuHasAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

inline bool cpuHasSsse3AndPopcnt() {
  static const bool have = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
  return have;
}

}  // namespace minutiae

#endif
