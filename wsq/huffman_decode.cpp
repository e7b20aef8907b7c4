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
  WarnAllOnesCode(sizes, codes, n, tableId);
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

// Codes of up to 8 bits by their first 8 bits: 0 no code that short, 0xFF a
// code whose value the table lacks (left to the bit-serial path's error).
struct FastTable {
  uint8_t len[256];
  uint8_t symbol[256];
};

void BuildFastTable(FastTable &f, const DecodeTable &t) {
  for (int b = 0; b < 256; ++b) {
    f.len[b] = 0;
    for (int len = 1; len <= 8; ++len) {
      const int code = b >> (8 - len);
      if (t.maxcode[len] >= 0 && code <= t.maxcode[len]) {
        const int idx = t.valptr[len] + code - t.mincode[len];
        const bool ok = idx >= 0 && idx < t.numValues;
        f.len[b] = ok ? uint8_t(len) : 0xFF;
        f.symbol[b] = ok ? t.values[idx] : 0;
        break;
      }
    }
  }
}

int ExtraBits(int symbol) {
  if (symbol == 101 || symbol == 102 || symbol == 105) return 8;
  if (symbol == 103 || symbol == 104 || symbol == 106) return 16;
  return 0;
}

// Symbol and extra bits at once when at least 32 data bits lie ahead before
// any marker; then the result is what the bit-serial reads would give, and
// the reader is advanced past them. Returns false to take the slow path.
bool FastSymbol(int *symbol, uint16_t *extra, const DecodeTable &t, const FastTable &f, InCursor &in,
                BitReader &br) {
  uint64_t v = br.code & kMask[br.bitsLeft];
  int n = br.bitsLeft;
  const uint8_t *p = in.cur;
  while (n < 32) {
    if (p >= in.end) return false;
    const uint8_t b = *p;
    if (b == 0xFF) {
      if (p + 1 >= in.end || p[1] != 0x00) return false;
      p += 2;
    } else {
      ++p;
    }
    v = (v << 8) | b;
    n += 8;
  }
  const uint32_t top = uint32_t(v >> (n - 16)) & 0xFFFF;
  int len = f.len[top >> 8];
  int sym = f.symbol[top >> 8];
  if (len == 0xFF) return false;
  if (len == 0) {
    for (len = 9; len <= kMaxHuffBits; ++len) {
      const int code = int(top >> (16 - len));
      if (t.maxcode[len] >= 0 && code <= t.maxcode[len]) break;
    }
    if (len > kMaxHuffBits) return false;
    const int idx = t.valptr[len] + int(top >> (16 - len)) - t.mincode[len];
    if (idx < 0 || idx >= t.numValues) return false;
    sym = t.values[idx];
  }
  const int e = ExtraBits(sym);
  *symbol = sym;
  *extra = uint16_t((v >> (n - len - e)) & ((1u << e) - 1));
  // Advance by len + e bits as the bit-serial reader would.
  int take = len + e;
  if (take <= br.bitsLeft) {
    br.bitsLeft -= take;
    br.code &= uint8_t(kMask[br.bitsLeft]);
    return true;
  }
  take -= br.bitsLeft;
  br.bitsLeft = 0;
  while (take > 0) {
    const uint8_t b = *in.cur++;
    if (b == 0xFF) ++in.cur;  // the stuffed zero
    if (take < 8) {
      br.bitsLeft = 8 - take;
      br.code = uint8_t(b & kMask[br.bitsLeft]);
    }
    take -= 8;
  }
  return true;
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
    FastTable fast;
    BuildFastTable(fast, table);
    BitReader br;
    marker = 0;
    ++blocks;

    for (;;) {
      int symbol = 0;
      uint16_t extra = 0;
      const bool haveExtra = FastSymbol(&symbol, &extra, table, fast, in, br);
      if (!haveExtra) {
        if (int ret = decode_huffman_symbol(&symbol, table, in, br, &marker)) return ret;
        if (symbol == -1) break;
        if (const int e = ExtraBits(symbol))
          if (int ret = getc_nextbits_wsq(&extra, nullptr, in, br, e)) return ret;
      }
      if (symbol >= 1 && symbol <= kMaxZeroRun) {
        if (count + size_t(symbol) > total) return PastTotal(2);
        std::fill(coeffs + count, coeffs + count + symbol, 0);
        count += size_t(symbol);
      } else if (symbol == 105 || symbol == 106) {
        if (count + extra > total) return PastTotal(symbol == 105 ? 3 : 4);
        std::fill(coeffs + count, coeffs + count + extra, 0);
        count += extra;
      } else if (symbol >= 101 && symbol <= 104) {
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
