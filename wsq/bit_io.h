// Bit packing of entropy-coded block data: MSB first, a 0x00 stuffed after
// every 0xFF data byte, the last byte padded with 1-bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "byte_io.h"

namespace wsq {

// Packs bits into a bounded block buffer; a write past capacity fails with -47.
struct BitWriter {
  uint8_t *buf;
  size_t capacity;
  size_t count = 0;   // bytes emitted, stuffing included
  int bitsLeft = 7;   // free positions in the current byte, minus one
  uint8_t acc = 0;
};

// Appends the n (1..16) low bits of value.
int write_bits(BitWriter &bw, uint32_t value, int n);
// Completes a partial byte with 1-bits.
int flush_bits(BitWriter &bw);

// kMask[n]: the n low bits of a byte set.
inline constexpr uint16_t kMask[9] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F, 0xFF};

// Unpacker state for one block: current code byte and its unread bit count.
struct BitReader {
  uint8_t code = 0;
  int bitsLeft = 0;
};

// Reads n (1..16) bits. A marker met at a byte boundary of a one-bit read
// with a marker slot lands in *marker with the bits set to 1.
int getc_nextbits_wsq(uint16_t *bits, uint16_t *marker, InCursor &in, BitReader &br, int n);

}  // namespace wsq
