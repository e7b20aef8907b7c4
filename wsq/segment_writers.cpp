#include "segment_writers.h"

#include <cmath>

#include "scaled_number.h"
#include "wsq_error.h"

namespace wsq {

int putc_marker(uint16_t marker, OutBuffer &out) { return putc_ushort(marker, out); }

int putc_comment(uint16_t marker, const uint8_t *text, size_t length, OutBuffer &out) {
  if (length > 0xFFFF - 2)
    return Fail(-2, "ERROR : putc_comment : comment of %zu bytes too long\n", length);
  if (int ret = putc_ushort(marker, out)) return ret;
  if (int ret = putc_ushort(uint16_t(length + 2), out)) return ret;
  return putc_bytes(text, length, out);
}

namespace {

int PutTaps(const float *filt, int num, OutBuffer &out, int failCode, const char *name) {
  for (int i = num / 2; i < num; ++i) {
    uint8_t scale;
    uint32_t value;
    const float magnitude = std::fabs(filt[i]);
    if (!ScaleForField(magnitude, kLimit32, &scale, &value))
      return Fail(failCode, "ERROR: putc_transform_table : %s[%d] to high at %f\n", name, i,
                  double(filt[i]));
    if (int ret = putc_byte(filt[i] < 0.0f ? 1 : 0, out)) return ret;
    if (int ret = putc_byte(scale, out)) return ret;
    if (int ret = putc_uint(value, out)) return ret;
  }
  return 0;
}

int PutScaled16(float v, OutBuffer &out, bool *ok) {
  uint8_t scale;
  uint32_t value;
  *ok = ScaleForField(v, kLimit16, &scale, &value);
  if (!*ok) return 0;
  if (int ret = putc_byte(scale, out)) return ret;
  return putc_ushort(uint16_t(value), out);
}

}  // namespace

int putc_transform_table(const float *lofilt, int numLo, const float *hifilt, int numHi, OutBuffer &out) {
  const int length = 4 + 6 * ((numLo + 1) / 2 + (numHi + 1) / 2);
  if (int ret = putc_ushort(DTT_WSQ, out)) return ret;
  if (int ret = putc_ushort(uint16_t(length), out)) return ret;
  if (int ret = putc_byte(uint8_t(numLo), out)) return ret;
  if (int ret = putc_byte(uint8_t(numHi), out)) return ret;
  if (int ret = PutTaps(lofilt, numLo, out, -82, "lofilt")) return ret;
  return PutTaps(hifilt, numHi, out, -83, "hifilt");
}

int putc_quantization_table(const QuantizerParams &params, OutBuffer &out) {
  if (int ret = putc_ushort(DQT_WSQ, out)) return ret;
  if (int ret = putc_ushort(389, out)) return ret;
  // The bin centre 0.44 is fixed.
  if (int ret = putc_byte(2, out)) return ret;
  if (int ret = putc_ushort(44, out)) return ret;
  for (int k = 0; k < kNumSubbands; ++k) {
    if (k >= kCodedSubbands || params.q[k] == 0.0f) {
      const uint8_t zeros[6] = {};
      if (int ret = putc_bytes(zeros, 6, out)) return ret;
      continue;
    }
    bool ok;
    if (int ret = PutScaled16(params.q[k], out, &ok)) return ret;
    if (!ok)
      return Fail(-86, "ERROR : putc_quantization_table : Q[%d] to high at %f\n", k, double(params.q[k]));
    if (int ret = PutScaled16(params.z[k], out, &ok)) return ret;
    if (!ok)
      return Fail(-87, "ERROR : putc_quantization_table : Z[%d] to high at %f\n", k, double(params.z[k]));
  }
  return 0;
}

int putc_frame_header_wsq(int width, int height, float mShift, float rScale, OutBuffer &out) {
  if (width < 1 || width > 0xFFFF || height < 1 || height > 0xFFFF)
    return Fail(-2, "ERROR : putc_frame_header_wsq : image size %d x %d out of range\n", width, height);
  if (int ret = putc_ushort(SOF_WSQ, out)) return ret;
  if (int ret = putc_ushort(17, out)) return ret;
  if (int ret = putc_byte(0, out)) return ret;    // black
  if (int ret = putc_byte(255, out)) return ret;  // white
  if (int ret = putc_ushort(uint16_t(height), out)) return ret;
  if (int ret = putc_ushort(uint16_t(width), out)) return ret;
  bool ok;
  if (int ret = PutScaled16(mShift, out, &ok)) return ret;
  if (!ok) return Fail(-2, "ERROR : putc_frame_header_wsq : m_shift out of range at %f\n", double(mShift));
  if (int ret = PutScaled16(rScale, out, &ok)) return ret;
  if (!ok) return Fail(-2, "ERROR : putc_frame_header_wsq : r_scale out of range at %f\n", double(rScale));
  if (int ret = putc_byte(0, out)) return ret;  // WSQ_encoder
  return putc_ushort(0, out);                   // Software
}

int putc_huffman_table(uint16_t marker, int tableId, const uint8_t *bits, const uint8_t *values,
                       OutBuffer &out) {
  int numValues = 0;
  for (int i = 0; i < kMaxHuffBits; ++i) numValues += bits[i];
  if (int ret = putc_ushort(marker, out)) return ret;
  if (int ret = putc_ushort(uint16_t(3 + kMaxHuffBits + numValues), out)) return ret;
  if (int ret = putc_byte(uint8_t(tableId), out)) return ret;
  if (int ret = putc_bytes(bits, kMaxHuffBits, out)) return ret;
  return putc_bytes(values, size_t(numValues), out);
}

int putc_block_header(int tableId, OutBuffer &out) {
  if (int ret = putc_ushort(SOB_WSQ, out)) return ret;
  if (int ret = putc_ushort(3, out)) return ret;
  return putc_byte(uint8_t(tableId), out);
}

}  // namespace wsq
