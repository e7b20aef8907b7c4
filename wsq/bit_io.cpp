#include "bit_io.h"

#include "wsq_error.h"

namespace wsq {

namespace {

int EmitByte(BitWriter &bw, uint8_t byte) {
  const size_t need = byte == 0xFF ? 2 : 1;
  if (bw.capacity - bw.count < need)
    return Fail(-47, "ERROR : compress_block : huff_buf overflow : alloc = %zu\n", bw.capacity);
  bw.buf[bw.count++] = byte;
  if (byte == 0xFF) bw.buf[bw.count++] = 0x00;
  return 0;
}

}  // namespace

int write_bits(BitWriter &bw, uint32_t value, int n) {
  for (int i = n - 1; i >= 0; --i) {
    bw.acc = uint8_t((bw.acc << 1) | ((value >> i) & 1));
    if (--bw.bitsLeft < 0) {
      if (int ret = EmitByte(bw, bw.acc)) return ret;
      bw.bitsLeft = 7;
      bw.acc = 0;
    }
  }
  return 0;
}

int flush_bits(BitWriter &bw) {
  if (bw.bitsLeft == 7) return 0;
  const int pad = bw.bitsLeft + 1;
  const uint8_t byte = uint8_t((bw.acc << pad) | ((1u << pad) - 1));
  if (int ret = EmitByte(bw, byte)) return ret;
  bw.bitsLeft = 7;
  bw.acc = 0;
  return 0;
}

int getc_nextbits_wsq(uint16_t *bits, uint16_t *marker, InCursor &in, BitReader &br, int n) {
  if (br.bitsLeft == 0) {
    uint8_t byte;
    if (int ret = getc_byte(&byte, in)) return ret;
    br.code = byte;
    br.bitsLeft = 8;
    if (byte == 0xFF) {
      uint8_t next;
      if (int ret = getc_byte(&next, in)) return ret;
      if (next != 0x00) {
        if (n == 1 && marker) {
          *marker = uint16_t(0xFF00 | next);
          *bits = 1;
          return 0;
        }
        return Fail(-41, "ERROR: getc_nextbits_wsq : No stuffed zeros\n");
      }
    }
  }
  if (br.bitsLeft < n) {
    const int rest = n - br.bitsLeft;
    const uint16_t high = uint16_t((br.code & kMask[br.bitsLeft]) << rest);
    br.bitsLeft = 0;
    uint16_t low = 0;
    if (int ret = getc_nextbits_wsq(&low, nullptr, in, br, rest)) return ret;
    *bits = uint16_t(high | low);
    return 0;
  }
  *bits = uint16_t((br.code >> (br.bitsLeft - n)) & kMask[n]);
  br.bitsLeft -= n;
  br.code &= uint8_t(kMask[br.bitsLeft]);
  return 0;
}

}  // namespace wsq
