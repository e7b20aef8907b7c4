// The minutiae record that travels inside libminutia: 488 bytes, zero unless
// written; its bytes 2..478 are template bytes 31..507.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fplib {

constexpr size_t kRecordSize = 488;
constexpr int kRecordType = 3;       // byte 0
constexpr size_t kRecordCount = 1;   // byte 1: minutiae count N
constexpr size_t kRecordSlots = 2;   // bytes 2..401: 100 slots of 4 bytes
constexpr int kMaxMinutiae = 100;
constexpr size_t kRecordQuality = 402;  // raw quality 0..255

using CMinutiaeRecord = uint8_t[kRecordSize];

// One stored minutia: x 0..255, y 0..359 (top row 0), direction in whole
// degrees 0..359.
struct CMinutia {
  int x, y, degrees;
};

// Slot i of a record: byte 0 x, byte 1 y low bits, byte 2 direction low
// bits, byte 3 bit 0 = bit 8 of y, bit 1 = bit 8 of the direction.
inline CMinutia ReadCMinutia(const uint8_t *record, int i) {
  const uint8_t *m = record + kRecordSlots + 4 * size_t(i);
  return {m[0], ((m[3] & 1) << 8) | m[1], ((m[3] & 2) << 7) | m[2]};
}

}  // namespace fplib
