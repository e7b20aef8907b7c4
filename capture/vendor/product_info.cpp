#include "product_info.h"

#include <cstring>

namespace belnor {

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int IsAlnumText(const char *text, int n) {
  if (!text || n < 2) return 0;
  for (int i = 0; i < n; ++i)
    if (!IsAsciiAlnum(static_cast<unsigned char>(text[i]))) return 0;
  return 1;
}

void EncodeProductInfo(const ProductInfo &info, uint8_t out[kProductInfoSize]) {
  std::memcpy(out, info.Serial, kSerialLength);
  out[16] = uint8_t(info.Year);
  out[17] = uint8_t(info.Year >> 8);
  out[18] = info.Month;
  out[19] = info.Day;
  out[20] = uint8_t(info.Operater);
  out[21] = uint8_t(info.Operater >> 8);
  out[22] = uint8_t(info.Reserved);
  out[23] = uint8_t(info.Reserved >> 8);
}

bool DecodeProductInfo(const uint8_t *b, size_t size, ProductInfo *info) {
  if (!b || !info || size < kProductInfoSize) return false;
  std::memcpy(info->Serial, b, kSerialLength);
  info->Year = uint16_t(b[16] | (b[17] << 8));
  info->Month = b[18];
  info->Day = b[19];
  info->Operater = uint16_t(b[20] | (b[21] << 8));
  info->Reserved = uint16_t(b[22] | (b[23] << 8));
  return true;
}

}  // namespace belnor
