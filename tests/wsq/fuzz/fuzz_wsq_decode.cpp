// Fuzz target: the header-only query, then a full decode of small frames.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fp_wsq.h"
#include "wsq_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  int w, h, depth, ppi, lossy;
  if (wsq::wsq_decode_mem(nullptr, &w, &h, &depth, &ppi, &lossy, data, size) != 0) return 0;
  if (uint64_t(w) * uint64_t(h) > (uint64_t(1) << 20)) return 0;
  std::vector<uint8_t> px;
  int w2, h2;
  if (wsq::wsq_decode_mem(&px, &w2, &h2, &depth, &ppi, &lossy, data, size) == 0) {
    if (w2 != w || h2 != h || px.size() != size_t(w) * size_t(h)) std::abort();
    // The adapter agrees with the decoder.
    std::vector<uint8_t> out(px.size());
    if (fp_wsq_decode(data, int(size), out.data(), int(out.size())) != 1 || out != px) std::abort();
  }
  return 0;
}
