// Fuzz target: any small image at any rate encodes, and its stream decodes
// to an image of the same size. Bytes 0-1 give the size, byte 2 the rate,
// the rest the pixels (repeated as needed).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fp_wsq.h"
#include "wsq_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4) return 0;
  const int w = 1 + data[0] % 128, h = 1 + data[1] % 128;
  // Up to 8 bpp; above 4 a noisy image may outgrow the stream's capacity,
  // which the adapter reports as 4.
  const float rate = 0.05f + float(data[2]) * (8.0f / 255.0f);
  std::vector<uint8_t> px(size_t(w) * size_t(h));
  for (size_t i = 0; i < px.size(); ++i) px[i] = data[3 + i % (size - 3)];
  std::vector<uint8_t> stream(px.size() + 8192);
  int cap = int(stream.size());
  const int ret = fp_wsq_encode(px.data(), int(px.size()), w, h, stream.data(), &cap, rate);
  if (ret == 4 && rate > 4.0f) return 0;
  if (ret != 1) std::abort();
  std::vector<uint8_t> out;
  int w2, h2, depth, ppi, lossy;
  if (wsq::wsq_decode_mem(&out, &w2, &h2, &depth, &ppi, &lossy, stream.data(), size_t(cap)) != 0) std::abort();
  if (w2 != w || h2 != h || ppi != 500 || out.size() != px.size()) std::abort();
  return 0;
}
