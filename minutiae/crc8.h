// CRC-8/DVB-S2 (poly 0xD5, init 0, no reflection, no final XOR): closes the templates.
#pragma once
#include <cstddef>
#include <cstdint>

namespace minutiae {

extern const uint8_t g_crc8Table[256];

uint8_t crc8(const uint8_t *data, size_t length);

}  // namespace minutiae
