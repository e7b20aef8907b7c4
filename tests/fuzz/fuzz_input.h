// What the harnesses share: fuzz bytes laid into buffers of the sizes the
// interfaces read, and the working-directory setup of the algorithm library.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace fuzz {

// Exactly n bytes: the input from offset `from`, then fill repeated (zeros
// without one). Sized exactly, so that AddressSanitizer sees any read past it.
inline std::vector<uint8_t> Buffer(const uint8_t *data, size_t size, size_t from, size_t n,
                                   const std::vector<uint8_t> &fill = {}) {
  std::vector<uint8_t> out(n, 0);
  const size_t have = from < size ? std::min(size - from, n) : 0;
  if (have) std::memcpy(out.data(), data + from, have);
  if (!fill.empty())
    for (size_t i = have; i < n; ++i) out[i] = fill[i % fill.size()];
  return out;
}

inline unsigned Byte(const uint8_t *data, size_t size, size_t i) { return i < size ? data[i] : 0u; }
inline unsigned Le16(const uint8_t *data, size_t size, size_t i) {
  return Byte(data, size, i) | (Byte(data, size, i + 1) << 8);
}

// libminutia appends its step log to a file in the working directory; a
// link to /dev/null keeps long runs from filling the disk.
inline void DiscardStepLog() {
  if (access("d:\\vantrel.txt", F_OK) != 0) (void)symlink("/dev/null", "d:\\vantrel.txt");
}

}  // namespace fuzz
