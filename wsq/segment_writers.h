// Writers of the marker segments of a WSQ stream.
#pragma once

#include <cstddef>
#include <cstdint>

#include "byte_io.h"
#include "wsq_format.h"

namespace wsq {

int putc_marker(uint16_t marker, OutBuffer &out);
int putc_comment(uint16_t marker, const uint8_t *text, size_t length, OutBuffer &out);
// Full symmetric analysis filters; only the upper halves are written.
int putc_transform_table(const float *lofilt, int numLo, const float *hifilt, int numHi, OutBuffer &out);
int putc_quantization_table(const QuantizerParams &params, OutBuffer &out);
int putc_frame_header_wsq(int width, int height, float mShift, float rScale, OutBuffer &out);
int putc_huffman_table(uint16_t marker, int tableId, const uint8_t *bits, const uint8_t *values,
                       OutBuffer &out);
int putc_block_header(int tableId, OutBuffer &out);

}  // namespace wsq
