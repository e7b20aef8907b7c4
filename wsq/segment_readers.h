// Readers of the marker segments of a WSQ stream. Every length field is
// checked against what remains; a segment longer than its fields is skipped
// to its declared end.
#pragma once

#include <cstdint>
#include <string>

#include "byte_io.h"
#include "wsq_format.h"

namespace wsq {

int getc_marker_wsq(uint16_t *marker, int markerClass, InCursor &in);
// Reads a DTT, DQT, DHT or (discarded) COM segment whose marker was read.
int getc_table_wsq(uint16_t marker, DecodeContext &ctx, InCursor &in);
int getc_transform_table(TransformTable &table, InCursor &in);
int getc_quantization_table(QuantizationTable &table, InCursor &in);
int getc_huffman_table_wsq(HuffmanSlot (&slots)[kHuffSlots], InCursor &in);
int getc_frame_header_wsq(FrameHeader &frame, InCursor &in);
int getc_block_header(int *tableId, InCursor &in);
int getc_comment(std::string *text, InCursor &in);
int getc_skip_marker_segment(uint16_t marker, InCursor &in);

}  // namespace wsq
