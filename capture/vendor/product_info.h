// ProductInfo: the 24-byte product record (serial, production date, operator).
#pragma once

#include <cstddef>
#include <cstdint>

#include "livescan.h"

namespace belnor {

constexpr size_t kProductInfoSize = 24;
constexpr int kSerialLength = 16;
static_assert(sizeof(ProductInfo) == kProductInfoSize, "ProductInfo is 24 bytes");

bool IsAsciiAlnum(unsigned char c);

// 1 when n >= 2 and the first n bytes are ASCII letters or digits, else 0.
int IsAlnumText(const char *text, int n);

// A record whose 16 serial characters are all letters or digits.
inline bool HasValidSerial(const ProductInfo &info) {
  return IsAlnumText(info.Serial, kSerialLength) == 1;
}

// Little-endian wire form. Decode refuses fewer than 24 bytes.
void EncodeProductInfo(const ProductInfo &info, uint8_t out[kProductInfoSize]);
bool DecodeProductInfo(const uint8_t *bytes, size_t size, ProductInfo *info);

}  // namespace belnor
