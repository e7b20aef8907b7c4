// Decoding of the entropy-coded blocks.
#include <algorithm>

#include "huffman.h"
#include "segment_readers.h"
#include "wsq_error.h"

namespace wsq {

namespace {

struct DecodeTable {
  int maxcode[kMaxHuffBits + 1];
  int mincode[kMaxHuffBits + 1];
  int valptr[kMaxHuffBits + 1];
  const uint8_t *values;
  int numValues;
};

void gen_decode_table(DecodeTable &t, const HuffmanSlot &slot, int tableId) {
  uint8_t sizes[kMaxHuffValues + 1];
  uint16_t codes[kMaxHuffValues + 1];
  const int n = build_huffcodes(sizes, codes, slot.bits);
  for (int i = 0; i < n; ++i)
    if (codes[i] == uint16_t((1u << sizes[i]) - 1)) {
      Warn(
          "WARNING: A code in the hufftable contains an all 1's code.\n         This image may still be "
          "decodable.\n         It is not compliant with the WSQ specification.\n         hufftable_id = %d\n",
          tableId);
      break;
    }
  int k = 0;
  for (int len = 1; len <= kMaxHuffBits; ++len) {
    const int c = slot.bits[len - 1];
    if (c == 0) {
      t.maxcode[len] = -1;
      t.mincode[len] = 0;
      t.valptr[len] = 0;
      continue;
    }
    t.valptr[len] = k;
    t.mincode[len] = codes[k];
    k += c;
    t.maxcode[len] = codes[k - 1];
  }
  t.values = slot.values;
  t.numValues = std::min(n, slot.numValues);
}

// One symbol, or -1 in *symbol when a marker ends the block.
int decode_huffman_symbol(int *symbol, const DecodeTable &t, InCursor &in, BitReader &br, uint16_t *marker) {
  int code = 0;
  for (int len = 1; len <= kMaxHuffBits; ++len) {
    uint16_t bit;
    if (int ret = getc_nextbits_wsq(&bit, marker, in, br, 1)) return ret;
    if (*marker) {
      *symbol = -1;
      return 0;
    }
    code = (code << 1) | bit;
    if (t.maxcode[len] >= 0 && code <= t.maxcode[len]) {
      const int idx = t.valptr[len] + code - t.mincode[len];
      if (idx < 0 || idx >= t.numValues) break;
      *symbol = t.values[idx];
      return 0;
    }
  }
  return Fail(-51, "ERROR : decode_huffman_symbol : no huffman code within %d bits\n", kMaxHuffBits);
}

int PastTotal(int which) {
  return Fail(-51,
              "ERROR : huffman_decode_data_mem [%d]: Decoded data extends past image buffer. Encoded data "
              "appears corrupt or non-standard.\n",
              which);
}

bool IsTableMarker(uint16_t m) { return m == DTT_WSQ || m == DQT_WSQ || m == DHT_WSQ || m == COM_WSQ; }

}  // namespace

int huffman_decode_data_mem(int32_t *coeffs, size_t capacity, DecodeContext &ctx,
                            const SubbandNode (&q)[kNumSubbands], InCursor &in) {
  size_t total = size_t(ctx.frame.width) * size_t(ctx.frame.height);
  total = std::min(total, capacity);
  bool subtracted = false;
  size_t count = 0;
  int blocks = 0;
  uint16_t marker;
  if (int ret = getc_marker_wsq(&marker, kTblsNSob, in)) return ret;
  for (;;) {
    if (marker == EOI_WSQ) return 0;
    while (marker != SOB_WSQ) {
      if (!IsTableMarker(marker))
        return Fail(-90, "ERROR : getc_marker_wsq : No SOB, Table, or comment markers.{%04X}\n", unsigned(marker));
      if (int ret = getc_table_wsq(marker, ctx, in)) return ret;
      if (int ret = getc_marker_wsq(&marker, kTblsNSob, in)) return ret;
    }
    int tableId;
    if (int ret = getc_block_header(&tableId, in)) return ret;
    const HuffmanSlot &slot = ctx.huff[tableId];
    if (!slot.defined)
      return Fail(-51, "ERROR : huffman_decode_data_mem : huffman table {%d} undefined.\n", tableId);
    if (!subtracted && ctx.dqt.defined) {
      for (int k = 0; k < kNumSubbands; ++k)
        if (ctx.dqt.q[k] == 0.0f) total -= std::min(total, size_t(q[k].lenx) * size_t(q[k].leny));
      subtracted = true;
    }
    DecodeTable table;
    gen_decode_table(table, slot, tableId);
    BitReader br;
    marker = 0;
    ++blocks;

    for (;;) {
      int symbol;
      if (int ret = decode_huffman_symbol(&symbol, table, in, br, &marker)) return ret;
      if (symbol == -1) break;
      uint16_t extra;
      if (symbol >= 1 && symbol <= kMaxZeroRun) {
        if (count + size_t(symbol) > total) return PastTotal(2);
        std::fill(coeffs + count, coeffs + count + symbol, 0);
        count += size_t(symbol);
      } else if (symbol == 105 || symbol == 106) {
        if (int ret = getc_nextbits_wsq(&extra, nullptr, in, br, symbol == 105 ? 8 : 16)) return ret;
        if (count + extra > total) return PastTotal(symbol == 105 ? 3 : 4);
        std::fill(coeffs + count, coeffs + count + extra, 0);
        count += extra;
      } else if (symbol >= 101 && symbol <= 104) {
        if (int ret = getc_nextbits_wsq(&extra, nullptr, in, br, symbol <= 102 ? 8 : 16)) return ret;
        if (count >= total) return PastTotal(1);
        coeffs[count++] = (symbol == 101 || symbol == 103) ? int32_t(extra) : -int32_t(extra);
      } else if (symbol >= 107 && symbol <= 254) {
        if (count >= total) return PastTotal(1);
        coeffs[count++] = symbol - 180;
      } else {
        return Fail(-52, "ERROR: huffman_decode_data_mem : Invalid code %d (%x).\n", symbol, unsigned(symbol));
      }
    }
    // Comments after the last block are skipped.
    if (marker == COM_WSQ && blocks >= 3) {
      while (marker == COM_WSQ) {
        std::string text;
        if (int ret = getc_comment(&text, in)) return ret;
        if (int ret = getc_marker_wsq(&marker, kAnyWsq, in)) return ret;
      }
    }
  }
}

}  // namespace wsq
