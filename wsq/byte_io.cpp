#include "byte_io.h"

#include <cstring>

#include "wsq_error.h"

namespace wsq {

int getc_byte(uint8_t *out, InCursor &in) {
  if (in.cur >= in.end) return Fail(-39, "ERROR : getc_byte : premature End Of Buffer\n");
  *out = *in.cur++;
  return 0;
}

int getc_bytes(uint8_t *dst, size_t n, InCursor &in) {
  if (in.Remaining() < n) return Fail(-40, "ERROR : getc_bytes : premature End Of Buffer\n");
  if (n) std::memcpy(dst, in.cur, n);
  in.cur += n;
  return 0;
}

int getc_ushort(uint16_t *out, InCursor &in) {
  uint8_t b[2];
  if (int ret = getc_bytes(b, 2, in)) return ret;
  *out = uint16_t((b[0] << 8) | b[1]);
  return 0;
}

int getc_uint(uint32_t *out, InCursor &in) {
  uint8_t b[4];
  if (int ret = getc_bytes(b, 4, in)) return ret;
  *out = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
  return 0;
}

int putc_byte(uint8_t value, OutBuffer &out) {
  if (out.fill >= out.alloc)
    return Fail(-32, "ERROR : putc_byte : buffer overlow : alloc = %zu, request = %zu\n", out.alloc,
                out.fill);
  out.data[out.fill++] = value;
  return 0;
}

int putc_bytes(const uint8_t *src, size_t n, OutBuffer &out) {
  if (n > out.alloc - out.fill)
    return Fail(-33, "ERROR : putc_bytes : buffer overlow : alloc = %zu, request = %zu\n", out.alloc,
                out.fill + n);
  if (n) std::memcpy(out.data + out.fill, src, n);
  out.fill += n;
  return 0;
}

int putc_ushort(uint16_t value, OutBuffer &out) {
  const uint8_t b[2] = {uint8_t(value >> 8), uint8_t(value)};
  return putc_bytes(b, 2, out);
}

int putc_uint(uint32_t value, OutBuffer &out) {
  const uint8_t b[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
  return putc_bytes(b, 4, out);
}

}  // namespace wsq
