#include "fp_wsq.h"

#include <cstring>
#include <vector>

#include "wsq_codec.h"
#include "wsq_header.h"

namespace {

constexpr const char kAdapterComment[] = "Morvek";

}  // namespace

int fp_wsq_encode(const uint8_t *pixels, int pixelCount, int width, int height, uint8_t *out, int *capacity,
                  float bitRate) {
  if (!pixels || !out || !capacity) return 2;
  // Never read past the caller's pixels.
  if (width > 0 && height > 0 && int64_t(pixelCount) < int64_t(width) * height) return 2;
  std::vector<uint8_t> stream;
  if (wsq::wsq_encode_1(&stream, pixels, width, height, 8, bitRate, 500, kAdapterComment)) return 4;
  if (stream.size() > size_t(*capacity < 0 ? 0 : *capacity)) return 5;
  std::memcpy(out, stream.data(), stream.size());
  *capacity = int(stream.size());
  return 1;
}

int fp_wsq_info(const uint8_t *stream, int length, int *width, int *height, int *ppi) {
  if (!stream || length < 0 || !width || !height || !ppi) return -1;
  wsq::WsqHeader h;
  if (wsq::wsq_query_header(&h, stream, size_t(length))) return -1;
  *width = h.width;
  *height = h.height;
  *ppi = h.ppi;
  return 0;
}

namespace {

int DecodeInto(const uint8_t *stream, int length, uint8_t *out, int capacity, int *width, int *height) {
  if (!stream || length < 0) return 2;
  // The size comes first, so that nothing is allocated for an image the
  // caller cannot take.
  wsq::WsqHeader h;
  if (wsq::wsq_query_header(&h, stream, size_t(length))) return 2;
  if (!out) {
    // Only the size was asked for: the frame header has it.
    *width = h.width;
    *height = h.height;
    return 1;
  }
  if (int64_t(capacity) < int64_t(h.width) * h.height) return 3;
  std::vector<uint8_t> pixels;
  int w, hh, depth, ppi, lossy;
  if (wsq::wsq_decode_mem(&pixels, &w, &hh, &depth, &ppi, &lossy, stream, size_t(length))) return 2;
  std::memcpy(out, pixels.data(), pixels.size());
  if (width) *width = w;
  if (height) *height = hh;
  return 1;
}

}  // namespace

int fp_wsq_decode(const uint8_t *stream, int length, uint8_t *out, int capacity) {
  if (!out) return 2;
  return DecodeInto(stream, length, out, capacity, nullptr, nullptr);
}

int fp_wsq_decode_dims(const uint8_t *stream, int length, uint8_t *out, int capacity, int *width, int *height) {
  if (!width || !height) return 2;
  return DecodeInto(stream, length, out, capacity, width, height);
}
