#include "wsq_header.h"

#include <new>

#include "nistcom.h"
#include "segment_readers.h"
#include "wsq_error.h"

namespace wsq {

int ReadStreamPrologue(DecodeContext &ctx, InCursor &in) {
  uint16_t marker;
  if (int ret = getc_marker_wsq(&marker, kSoiClass, in)) return ret;
  for (;;) {
    if (int ret = getc_marker_wsq(&marker, kTblsNSof, in)) return ret;
    if (marker == SOF_WSQ) return getc_frame_header_wsq(ctx.frame, in);
    if (int ret = getc_table_wsq(marker, ctx, in)) return ret;
  }
}

namespace {

int QueryHeader(WsqHeader *header, const uint8_t *stream, size_t length) {
  DecodeContext ctx;
  InCursor in{stream, stream + length};
  if (int ret = ReadStreamPrologue(ctx, in)) return ret;
  int ppi;
  if (int ret = getc_ppi_wsq(&ppi, stream, length)) return ret;
  header->width = ctx.frame.width;
  header->height = ctx.frame.height;
  header->depth = 8;
  header->ppi = ppi;
  header->lossy = 1;
  return 0;
}

}  // namespace

int wsq_query_header(WsqHeader *header, const uint8_t *stream, size_t length) {
  // The comment parser allocates; callers get a code, never an exception.
  try {
    return QueryHeader(header, stream, length);
  } catch (const std::bad_alloc &) {
    return Fail(-20, "ERROR: wsq_query_header : out of memory\n");
  }
}

}  // namespace wsq
