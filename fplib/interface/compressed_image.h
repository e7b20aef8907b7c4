// CompressedImage: the 20480-byte container of a WSQ stream written by
// FP_Compress and read by FP_Decompress.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fplib {

constexpr size_t kContainerSize = 20480;
constexpr size_t kStreamOffset = 22;
constexpr int kMaxStream = 20457;  // leaves room for the CRC byte
constexpr uint8_t kContainerMagic = 'Y';

// Kind byte of the header: 1..3 as given, 4 as 9, anything else 0.
uint8_t containerKindCode(int kind);

}  // namespace fplib
