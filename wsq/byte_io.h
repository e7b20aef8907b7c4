// Bounded big-endian byte readers and writers over memory buffers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wsq {

// Input cursor: next unread byte and one past the last byte.
struct InCursor {
  const uint8_t *cur;
  const uint8_t *end;
  size_t Remaining() const { return size_t(end - cur); }
};

// Output buffer of fixed capacity with its fill count.
struct OutBuffer {
  uint8_t *data;
  size_t alloc;
  size_t fill;
};

int getc_byte(uint8_t *out, InCursor &in);
int getc_bytes(uint8_t *dst, size_t n, InCursor &in);
int getc_ushort(uint16_t *out, InCursor &in);
int getc_uint(uint32_t *out, InCursor &in);

int putc_byte(uint8_t value, OutBuffer &out);
int putc_bytes(const uint8_t *src, size_t n, OutBuffer &out);
int putc_ushort(uint16_t value, OutBuffer &out);
int putc_uint(uint32_t value, OutBuffer &out);

}  // namespace wsq
