#include "crc8.h"

#include <array>

namespace minutiae {

namespace {

constexpr std::array<uint8_t, 256> MakeCrc8Table() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    uint8_t c = uint8_t(i);
    for (int b = 0; b < 8; ++b) c = uint8_t((c & 0x80) ? (c << 1) ^ 0xD5 : c << 1);
    t[size_t(i)] = c;
  }
  return t;
}

constexpr std::array<uint8_t, 256> kCrc8 = MakeCrc8Table();

}  // namespace

// Built at compile time; entry i is the CRC of the single byte i.
const uint8_t g_crc8Table[256] = {
#define E(i) kCrc8[i]
#define R8(i) E(i), E(i + 1), E(i + 2), E(i + 3), E(i + 4), E(i + 5), E(i + 6), E(i + 7)
#define R64(i) R8(i), R8(i + 8), R8(i + 16), R8(i + 24), R8(i + 32), R8(i + 40), R8(i + 48), R8(i + 56)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R8
#undef E
};

uint8_t crc8(const uint8_t *data, size_t length) {
  uint8_t crc = 0;
  for (size_t i = 0; i < length; ++i) crc = g_crc8Table[crc ^ data[i]];
  return crc;
}

}  // namespace minutiae
