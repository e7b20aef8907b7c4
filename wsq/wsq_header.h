// The part of decoding that stops after the frame header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "byte_io.h"
#include "wsq_format.h"

namespace wsq {

struct WsqHeader {
  int width = 0;
  int height = 0;
  int depth = 0;
  int ppi = -1;
  int lossy = 0;
};

// Reads SOI, then tables and comments up to SOF, then the frame header.
int ReadStreamPrologue(DecodeContext &ctx, InCursor &in);

// Header-only query: size from SOF, ppi from the NISTCOM comment (-1 without
// one), depth 8, lossy 1.
int wsq_query_header(WsqHeader *header, const uint8_t *stream, size_t length);

}  // namespace wsq
