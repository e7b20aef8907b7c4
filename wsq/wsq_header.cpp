#include "wsq_header.h"

#include "nistcom.h"
#include "segment_readers.h"

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

int wsq_query_header(WsqHeader *header, const uint8_t *stream, size_t length) {
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

}  // namespace wsq
