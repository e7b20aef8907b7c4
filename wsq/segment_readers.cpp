#include "segment_readers.h"

#include <algorithm>

#include "scaled_number.h"
#include "wsq_error.h"

namespace wsq {

namespace {

// Reads a segment's length field and splits off its body. The outer cursor
// moves past the whole segment whatever the fields use of it.
int OpenSegment(const char *routine, InCursor &in, InCursor *body, uint16_t *length) {
  if (int ret = getc_ushort(length, in)) return ret;
  if (*length < 2)
    return Fail(-2, "ERROR : %s : segment length %u below 2\n", routine, unsigned(*length));
  if (size_t(*length - 2) > in.Remaining())
    return Fail(-2, "ERROR : %s : segment length %u runs past the end of the buffer\n", routine,
                unsigned(*length));
  *body = InCursor{in.cur, in.cur + (*length - 2)};
  in.cur = body->end;
  return 0;
}

int TooShort(const char *routine, uint16_t length) {
  return Fail(-2, "ERROR : %s : segment length %u shorter than its fields\n", routine, unsigned(length));
}

int GetScaled16(float *v, InCursor &in) {
  uint8_t scale;
  uint16_t value;
  if (int ret = getc_byte(&scale, in)) return ret;
  if (int ret = getc_ushort(&value, in)) return ret;
  *v = UnscaleField(scale, value);
  return 0;
}

// Builds a synthesis filter of num (odd) taps from the upper half of the
// other analysis filter, alternating signs outwards from the centre.
std::vector<float> SynthesisFilter(const float *half, int num) {
  std::vector<float> filt(static_cast<size_t>(num));
  const int c = (num - 1) / 2;
  for (int i = 0; i <= c; ++i) {
    const float v = (i & 1) ? -half[i] : half[i];
    filt[size_t(c + i)] = v;
    filt[size_t(c - i)] = v;
  }
  return filt;
}

}  // namespace

int getc_marker_wsq(uint16_t *marker, int markerClass, InCursor &in) {
  uint16_t m;
  if (int ret = getc_ushort(&m, in)) return ret;
  *marker = m;
  switch (markerClass) {
    case kSoiClass:
      if (m != SOI_WSQ) return Fail(-88, "ERROR : getc_marker_wsq : No SOI marker. {%04X}\n", unsigned(m));
      return 0;
    case kTblsNSof:
      if (m != DTT_WSQ && m != DQT_WSQ && m != DHT_WSQ && m != SOF_WSQ && m != COM_WSQ)
        return Fail(-89, "ERROR : getc_marker_wsq : No SOF, Table, or comment markers.\n");
      return 0;
    case kTblsNSob:
      if (m != DTT_WSQ && m != DQT_WSQ && m != DHT_WSQ && m != SOB_WSQ && m != COM_WSQ)
        return Fail(-90, "ERROR : getc_marker_wsq : No SOB, Table, or comment markers.{%04X}\n", unsigned(m));
      return 0;
    case kAnyWsq:
      if (m < 0xFF00) return Fail(-91, "ERROR : getc_marker_wsq : no marker found {%04X}\n", unsigned(m));
      if (m < SOI_WSQ || m > COM_WSQ)
        return Fail(-92, "ERROR : getc_marker_wsq : {%04X} not a valid marker\n", unsigned(m));
      return 0;
    default:
      return Fail(-93, "ERROR : getc_marker_wsq : Invalid marker -> {%4X}\n", unsigned(m));
  }
}

int getc_table_wsq(uint16_t marker, DecodeContext &ctx, InCursor &in) {
  switch (marker) {
    case DTT_WSQ:
      return getc_transform_table(ctx.dtt, in);
    case DQT_WSQ:
      return getc_quantization_table(ctx.dqt, in);
    case DHT_WSQ:
      return getc_huffman_table_wsq(ctx.huff, in);
    case COM_WSQ: {
      std::string text;
      return getc_comment(&text, in);
    }
    default:
      return Fail(-93, "ERROR: getc_table_wsq : Invalid table defined -> {%u}\n", unsigned(marker));
  }
}

int getc_transform_table(TransformTable &table, InCursor &in) {
  constexpr const char *kRoutine = "getc_transform_table";
  // A failing segment leaves no filter behind.
  table = TransformTable{};
  InCursor body{};
  uint16_t length;
  if (int ret = OpenSegment(kRoutine, in, &body, &length)) return ret;
  uint8_t numLo, numHi;
  if (body.Remaining() < 2) return TooShort(kRoutine, length);
  getc_byte(&numLo, body);
  getc_byte(&numHi, body);
  // Even-length pairs need half-sample extension, which this decoder leaves out.
  for (int num : {int(numLo), int(numHi)})
    if (num == 0 || num % 2 == 0)
      return Fail(-98, "ERROR : getc_transform_table : filter length %d not supported\n", num);
  const int halfLo = (numLo + 1) / 2;
  const int halfHi = (numHi + 1) / 2;
  if (body.Remaining() < size_t(6 * (halfLo + halfHi))) return TooShort(kRoutine, length);
  float a[128], b[128];
  for (int i = 0; i < halfLo + halfHi; ++i) {
    uint8_t sign, scale;
    uint32_t value;
    getc_byte(&sign, body);
    getc_byte(&scale, body);
    getc_uint(&value, body);
    float v = UnscaleField(scale, value);
    if (sign) v = -v;
    if (i < halfLo)
      a[i] = v;
    else
      b[i - halfLo] = v;
  }
  table.hifilt = SynthesisFilter(a, numLo);
  table.lofilt = SynthesisFilter(b, numHi);
  table.hiDefined = true;
  table.loDefined = true;
  return 0;
}

int getc_quantization_table(QuantizationTable &table, InCursor &in) {
  constexpr const char *kRoutine = "getc_quantization_table";
  InCursor body{};
  uint16_t length;
  if (int ret = OpenSegment(kRoutine, in, &body, &length)) return ret;
  if (body.Remaining() < size_t(3 + 6 * kNumSubbands)) return TooShort(kRoutine, length);
  QuantizationTable t;
  GetScaled16(&t.binCenter, body);
  for (int k = 0; k < kNumSubbands; ++k) {
    GetScaled16(&t.q[k], body);
    GetScaled16(&t.z[k], body);
    // 60-63 are never coded; a foreign non-zero step must not count.
    if (k >= kCodedSubbands) t.q[k] = t.z[k] = 0.0f;
  }
  t.defined = true;
  table = t;
  return 0;
}

namespace {

int GetOneHuffmanTable(HuffmanSlot (&slots)[kHuffSlots], InCursor &body, bool first) {
  constexpr const char *kRoutine = "ERROR : getc_huffman_table : ";
  if (body.Remaining() == 0) return Fail(-2, "%sno huffman table bytes remaining\n", kRoutine);
  uint8_t id;
  getc_byte(&id, body);
  if (id >= kHuffSlots) return Fail(-2, "%sinvalid huffman table id %d\n", kRoutine, int(id));
  uint8_t bits[kMaxHuffBits];
  if (int ret = getc_bytes(bits, kMaxHuffBits, body)) return ret;
  int numValues = 0;
  uint32_t space = 0;  // Kraft sum in units of 2^-16
  for (int i = 0; i < kMaxHuffBits; ++i) {
    numValues += bits[i];
    space += uint32_t(bits[i]) << (kMaxHuffBits - 1 - i);
  }
  if (numValues > kMaxHuffValues)
    return Fail(-4, "%snum_hufvals (%d) is largerthan MAX_HUFFCOUNTS (%d)\n", kRoutine, numValues,
                kMaxHuffValues);
  if (space > (1u << kMaxHuffBits))
    return Fail(-2, "%scode counts exceed the code space\n", kRoutine);
  if (body.Remaining() < size_t(numValues))
    return Fail(-2, "%s%d values run past the segment\n", kRoutine, numValues);
  if (!first && slots[id].defined)
    return Fail(-2, "ERROR : getc_huffman_table_wsq : huffman table ID = %d already defined\n", int(id));
  HuffmanSlot &slot = slots[id];
  slot = HuffmanSlot{};
  std::copy(bits, bits + kMaxHuffBits, slot.bits);
  getc_bytes(slot.values, size_t(numValues), body);
  slot.numValues = numValues;
  slot.defined = true;
  return 0;
}

}  // namespace

int getc_huffman_table_wsq(HuffmanSlot (&slots)[kHuffSlots], InCursor &in) {
  InCursor body{};
  uint16_t length;
  if (int ret = OpenSegment("getc_huffman_table_wsq", in, &body, &length)) return ret;
  bool first = true;
  do {
    if (int ret = GetOneHuffmanTable(slots, body, first)) return ret;
    first = false;
  } while (body.Remaining() > 0);
  return 0;
}

int getc_frame_header_wsq(FrameHeader &frame, InCursor &in) {
  constexpr const char *kRoutine = "getc_frame_header_wsq";
  InCursor body{};
  uint16_t length;
  if (int ret = OpenSegment(kRoutine, in, &body, &length)) return ret;
  if (body.Remaining() < 15) return TooShort(kRoutine, length);
  FrameHeader f;
  getc_byte(&f.black, body);
  getc_byte(&f.white, body);
  getc_ushort(&f.height, body);
  getc_ushort(&f.width, body);
  GetScaled16(&f.mShift, body);
  GetScaled16(&f.rScale, body);
  getc_byte(&f.wsqEncoder, body);
  getc_ushort(&f.software, body);
  if (f.width == 0 || f.height == 0)
    return Fail(-2, "ERROR : getc_frame_header_wsq : empty image %u x %u\n", unsigned(f.width),
                unsigned(f.height));
  frame = f;
  return 0;
}

int getc_block_header(int *tableId, InCursor &in) {
  constexpr const char *kRoutine = "getc_block_header";
  InCursor body{};
  uint16_t length;
  if (int ret = OpenSegment(kRoutine, in, &body, &length)) return ret;
  if (body.Remaining() < 1) return TooShort(kRoutine, length);
  uint8_t id;
  getc_byte(&id, body);
  if (id >= kHuffSlots) return Fail(-2, "ERROR : getc_block_header : invalid huffman table id %d\n", int(id));
  *tableId = id;
  return 0;
}

int getc_comment(std::string *text, InCursor &in) {
  InCursor body{};
  uint16_t length;
  if (int ret = OpenSegment("getc_comment", in, &body, &length)) return ret;
  text->assign(reinterpret_cast<const char *>(body.cur), body.Remaining());
  return 0;
}

int getc_skip_marker_segment(uint16_t marker, InCursor &in) {
  uint16_t length;
  if (int ret = getc_ushort(&length, in)) return ret;
  // The segment must end strictly before the end of the input.
  if (length < 2 || size_t(length - 2) >= in.Remaining())
    return Fail(-2,
                "ERROR : getc_skip_marker_segment : unexpected end of buffer when parsing marker %d "
                "segment of length %d\n",
                int(marker), int(length) - 2);
  in.cur += length - 2;
  return 0;
}

}  // namespace wsq
