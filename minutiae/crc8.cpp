#include "crc8.h"

namespace minutiae {

uint8_t crc8(const uint8_t *data, size_t length) {
  uint8_t crc = 0;
  for (size_t i = 0; i < length; ++i) crc = g_crc8Table[crc ^ data[i]];
  return crc;
}

}  // namespace minutiae
