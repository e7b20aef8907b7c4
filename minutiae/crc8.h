// CRC-8/DVB-S2 (poly 0xD5, init 0, no reflection, no final XOR): closes the templates.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace minutiae {

constexpr std::array<uint8_t, 256> MakeCrc8Table() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    uint8_t c = uint8_t(i);
    for (int b = 0; b < 8; ++b) c = uint8_t((c & 0x80) ? (c << 1) ^ 0xD5 : c << 1);
    t[size_t(i)] = c;
  }
  return t;
}

// Entry i is the CRC of the single byte i; built at compile time.
inline constexpr std::array<uint8_t, 256> g_crc8Table = MakeCrc8Table();

uint8_t crc8(const uint8_t *data, size_t length);

}  // namespace minutiae
