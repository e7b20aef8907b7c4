// FlashCrc32: the checksum the scanner verifies before programming flash.
#pragma once

#include <cstddef>
#include <cstdint>

namespace belnor {

// CRC-32, reflected polynomial 0xEDB88320, register start 0xFFFFFFFF, no final
// inversion ("abc" gives 0xCADBBE3D).
uint32_t FlashCrc32(const uint8_t *data, size_t length);

}  // namespace belnor
