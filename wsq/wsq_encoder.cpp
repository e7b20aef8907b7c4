#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "bit_io.h"
#include "filters.h"
#include "huffman.h"
#include "nistcom.h"
#include "segment_writers.h"
#include "wsq_codec.h"
#include "wsq_error.h"
#include "wsq_quantise.h"
#include "wsq_transform.h"
#include "wsq_trees.h"

namespace wsq {

namespace {

// Room for everything but the coded blocks: markers, tables, both comments.
constexpr size_t kHeaderRoom = 2048;

int CodeBlocks(OutBuffer &out, BitWriter &bw, const int16_t *coeffs, const int (&sizes)[3]) {
  HuffCode table[kCodePoints];
  uint8_t bits[kMaxHuffBits];
  uint8_t values[kMaxHuffValues];
  size_t at = 0;
  for (int b = 0; b < 3; ++b) {
    // Block 1 has its own table; blocks 2 and 3 share one.
    if (b < 2) {
      if (int ret = build_block_hufftable(table, bits, values, coeffs + at, &sizes[b], b == 0 ? 1 : 2))
        return ret;
      if (int ret = putc_huffman_table(DHT_WSQ, b == 0 ? 0 : 1, bits, values, out)) return ret;
    }
    bw.count = 0;
    if (int ret = compress_block(bw, coeffs + at, size_t(sizes[b]), table)) return ret;
    if (int ret = putc_block_header(b == 0 ? 0 : 1, out)) return ret;
    if (int ret = putc_bytes(bw.buf, bw.count, out)) return ret;
    at += size_t(sizes[b]);
  }
  return 0;
}

int Encode(std::vector<uint8_t> *stream, const uint8_t *pixels, int width, int height, int depth, float r, int ppi,
           const char *comment) {
  if (width < 1 || width > 0xFFFF || height < 1 || height > 0xFFFF)
    return Fail(-14, "ERROR : wsq_encode_1 : image size %d x %d out of range\n", width, height);
  if (!std::isfinite(r) || r < 0.0f)
    return Fail(-14, "ERROR : wsq_encode_1 : bit rate %f out of range\n", double(r));
  const size_t n = size_t(width) * size_t(height);

  std::unique_ptr<float[]> fdata(new float[n]);
  float mShift, rScale;
  if (int ret = conv_img_2_flt(fdata.get(), &mShift, &rScale, pixels, n)) return ret;
  WsqTrees trees;
  build_wsq_trees(trees, width, height);
  if (int ret = wsq_decompose(fdata.get(), width, height, trees.w, kHiFilt, kHiFiltLength, kLoFilt, kLoFiltLength))
    return ret;
  QuantizerParams params;
  params.r = r;
  subband_variance(params, trees.q, fdata.get(), width);
  std::vector<int16_t> coeffs;
  int count;
  if (int ret = quantize(&coeffs, &count, params, trees.q, fdata.get(), width, height)) return ret;
  fdata.reset();

  int sizes[3];
  quant_block_sizes(&sizes[0], &sizes[1], &sizes[2], params.q, trees.w, trees.q);
  if (sizes[0] + sizes[1] + sizes[2] != count)
    return Fail(-11, "ERROR : wsq_encode_1 : problem w/quantization block sizes\n");

  // The stream may be somewhat longer than the image at high rates and for
  // tiny images, whose headers outweigh their pixels.
  const size_t alloc = n + kHeaderRoom + 2 * (comment ? std::strlen(comment) : 0);
  std::unique_ptr<uint8_t[]> data(new uint8_t[alloc]);
  OutBuffer out{data.get(), alloc, 0};
  if (int ret = putc_marker(SOI_WSQ, out)) return ret;
  if (int ret = putc_nistcom_wsq(comment, width, height, depth, ppi, 1, r, out)) return ret;
  if (int ret = putc_transform_table(kLoFilt, kLoFiltLength, kHiFilt, kHiFiltLength, out)) return ret;
  if (int ret = putc_quantization_table(params, out)) return ret;
  if (int ret = putc_frame_header_wsq(width, height, mShift, rScale, out)) return ret;

  std::unique_ptr<uint8_t[]> huffBuf(new uint8_t[alloc]);
  BitWriter bw{huffBuf.get(), alloc};
  if (int ret = CodeBlocks(out, bw, coeffs.data(), sizes)) return ret;
  if (int ret = putc_marker(EOI_WSQ, out)) return ret;
  stream->assign(data.get(), data.get() + out.fill);
  return 0;
}

}  // namespace

int wsq_encode_1(std::vector<uint8_t> *stream, const uint8_t *pixels, int width, int height, int depth, float r,
                 int ppi, const char *comment) {
  try {
    return Encode(stream, pixels, width, height, depth, r, ppi, comment);
  } catch (const std::bad_alloc &) {
    return Fail(-10, "ERROR : wsq_encode_1 : malloc : fdata\n");
  }
}

}  // namespace wsq
