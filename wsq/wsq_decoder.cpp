#include <memory>
#include <new>

#include "huffman.h"
#include "nistcom.h"
#include "wsq_codec.h"
#include "wsq_error.h"
#include "wsq_header.h"
#include "wsq_quantise.h"
#include "wsq_transform.h"
#include "wsq_trees.h"

namespace wsq {

namespace {

int Decode(std::vector<uint8_t> *pixels, int *width, int *height, int *depth, int *ppi, int *lossy,
           const uint8_t *stream, size_t length) {
  // Everything the stream defines lives in this call only.
  DecodeContext ctx;
  InCursor in{stream, stream + length};
  if (int ret = ReadStreamPrologue(ctx, in)) return ret;
  int streamPpi;
  if (int ret = getc_ppi_wsq(&streamPpi, stream, length)) return ret;
  const int w = ctx.frame.width, h = ctx.frame.height;

  if (pixels) {
    const uint64_t n = uint64_t(w) * uint64_t(h);
    if (n > kMaxDecodePixels)
      return Fail(-22, "ERROR: wsq_decode_mem : image %d x %d larger than %llu pixels\n", w, h,
                  static_cast<unsigned long long>(kMaxDecodePixels));
    WsqTrees trees;
    build_wsq_trees(trees, w, h);
    // Positions a short stream leaves without a value stay zero.
    std::vector<int32_t> qdata(n, 0);
    if (int ret = huffman_decode_data_mem(qdata.data(), qdata.size(), ctx, trees.q, in)) return ret;
    std::unique_ptr<float[]> fdata(new float[n]);  // unquantize fills all of it
    if (int ret = unquantize(fdata.get(), ctx.dqt, trees.q, qdata.data(), w, h)) return ret;
    std::vector<int32_t>().swap(qdata);
    if (int ret = wsq_reconstruct(fdata.get(), w, h, trees.w, ctx.dtt)) return ret;
    std::vector<uint8_t> cdata(n);
    conv_flt_2_img(cdata.data(), fdata.get(), w, h, ctx.frame.mShift, ctx.frame.rScale);
    *pixels = std::move(cdata);
  }
  *width = w;
  *height = h;
  *depth = 8;
  *ppi = streamPpi;
  *lossy = 1;
  return 0;
}

}  // namespace

int wsq_decode_mem(std::vector<uint8_t> *pixels, int *width, int *height, int *depth, int *ppi, int *lossy,
                   const uint8_t *stream, size_t length) {
  try {
    return Decode(pixels, width, height, depth, ppi, lossy, stream, length);
  } catch (const std::bad_alloc &) {
    return Fail(-20, "ERROR: wsq_decode_mem : malloc : qdata1\n");
  }
}

}  // namespace wsq
