// Fuzz target: segment readers, the header-only query and NISTCOM parsing.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "nistcom.h"
#include "segment_readers.h"
#include "wsq_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace wsq;
  WsqHeader header;
  if (wsq_query_header(&header, data, size) == 0 && (header.width < 1 || header.height < 1)) std::abort();

  // Every segment reader, in whatever order the input names them.
  DecodeContext ctx;
  InCursor in{data, data + size};
  for (;;) {
    uint16_t marker;
    if (getc_marker_wsq(&marker, kAnyWsq, in)) break;
    int ret = 0;
    if (marker == SOF_WSQ) {
      ret = getc_frame_header_wsq(ctx.frame, in);
    } else if (marker == SOB_WSQ) {
      int id;
      ret = getc_block_header(&id, in);
    } else if (marker == SOI_WSQ || marker == EOI_WSQ) {
      continue;
    } else if (marker == 0xFFA7) {
      ret = getc_skip_marker_segment(marker, in);
    } else {
      ret = getc_table_wsq(marker, ctx, in);
    }
    if (ret) break;
  }

  // Parse, print and parse again must give the same list.
  FetPtr fet;
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  if (string2fet(&fet, text) == 0) {
    std::string printed;
    FetPtr again;
    if (fet2string(&printed, *fet) || string2fet(&again, printed)) std::abort();
    if (again->names != fet->names || again->values != fet->values) std::abort();
  }
  return 0;
}
