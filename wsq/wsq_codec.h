// The WSQ encoder and decoder over memory buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wsq {

// Largest image the decoder allocates for (width * height).
constexpr uint64_t kMaxDecodePixels = uint64_t(1) << 26;

// Encodes width x height 8-bit pixels at bit rate r (bits per pixel) into
// *stream. comment may be NULL; a NISTCOM text is merged into the stream's
// NISTCOM comment, any other text written as a second comment.
int wsq_encode_1(std::vector<uint8_t> *stream, const uint8_t *pixels, int width, int height, int depth, float r,
                 int ppi, const char *comment);

// Decodes a stream into *pixels; with pixels NULL only the header is read.
// Reports width, height, depth 8, the ppi of the NISTCOM comment (-1
// without one) and lossy 1.
int wsq_decode_mem(std::vector<uint8_t> *pixels, int *width, int *height, int *depth, int *ppi, int *lossy,
                   const uint8_t *stream, size_t length);

}  // namespace wsq
