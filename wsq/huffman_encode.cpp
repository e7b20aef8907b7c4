// Symbol generation, table construction and the block coder.
#include <algorithm>
#include <cstring>

#include "huffman.h"
#include "wsq_error.h"

namespace wsq {

namespace {

// Walks the coefficients as symbols: emit(symbol, extra bit count, extra value).
template <class Emit>
int ForEachSymbol(const int16_t *coeffs, size_t n, Emit &&emit) {
  auto run = [&](unsigned len) {
    if (len <= kMaxZeroRun) return emit(int(len), 0, 0u);
    if (len <= 255) return emit(105, 8, len);
    return emit(106, 16, len);
  };
  auto coeff = [&](int c) {
    if (c >= -73 && c <= kMaxCoeff) return emit(c + 180, 0, 0u);
    if (c > 0) return c <= 255 ? emit(101, 8, unsigned(c)) : emit(103, 16, unsigned(c));
    return c >= -255 ? emit(102, 8, unsigned(-c)) : emit(104, 16, unsigned(-c));
  };
  bool inRun = false;
  unsigned len = 0;
  for (size_t i = 0; i < n; ++i) {
    const int c = coeffs[i];
    if (inRun) {
      if (c == 0 && len < 65535) {
        ++len;
        continue;
      }
      if (int ret = run(len)) return ret;
      if (c != 0) {
        inRun = false;
        if (int ret = coeff(c)) return ret;
      } else {
        len = 1;
      }
    } else if (c != 0) {
      if (int ret = coeff(c)) return ret;
    } else {
      inRun = true;
      len = 1;
    }
  }
  if (inRun) return run(len);
  return 0;
}

// Least and next least non-zero frequency; ties go to the larger code point.
void find_least_freq(int *v1, int *v2, const int (&freq)[kCodePoints]) {
  *v1 = *v2 = -1;
  for (int i = 0; i < kCodePoints; ++i)
    if (freq[i] > 0 && (*v1 < 0 || freq[i] <= freq[*v1])) *v1 = i;
  for (int i = 0; i < kCodePoints; ++i)
    if (i != *v1 && freq[i] > 0 && (*v2 < 0 || freq[i] <= freq[*v2])) *v2 = i;
}

bool IsAllOnes(uint16_t code, int size) { return code == uint16_t((1u << size) - 1); }

}  // namespace

void count_block(int (&counts)[kCodePoints], const int16_t *coeffs, size_t n) {
  ForEachSymbol(coeffs, n, [&](int symbol, int, unsigned) {
    ++counts[symbol];
    return 0;
  });
}

int find_huff_sizes(int (&codesize)[kCodePoints], int (&freq)[kCodePoints]) {
  int others[kCodePoints];
  std::fill(std::begin(codesize), std::end(codesize), 0);
  std::fill(std::begin(others), std::end(others), -1);
  for (;;) {
    int v1, v2;
    find_least_freq(&v1, &v2, freq);
    if (v2 < 0) break;
    freq[v1] += freq[v2];
    freq[v2] = 0;
    ++codesize[v1];
    while (others[v1] >= 0) {
      v1 = others[v1];
      ++codesize[v1];
    }
    others[v1] = v2;
    ++codesize[v2];
    while (others[v2] >= 0) {
      v2 = others[v2];
      ++codesize[v2];
    }
  }
  return 0;
}

int sort_huffbits(int (&bits)[33]) {
  for (int i = 32; i > kMaxHuffBits; --i) {
    while (bits[i] > 0) {
      int j = i - 2;
      while (j > 0 && bits[j] == 0) --j;
      if (j <= 0) return Fail(-3, "ERROR : sort_huffbits : Code length of %d is greater than 16.\n", i - 1);
      bits[i] -= 2;
      bits[i - 1] += 1;
      bits[j + 1] += 2;
      bits[j] -= 1;
    }
  }
  // Drop the reserved code point from the longest size.
  int i = kMaxHuffBits;
  while (i > 0 && bits[i] == 0) --i;
  if (i > 0) --bits[i];
  for (int k = kMaxHuffBits + 1; k <= 32; ++k)
    if (bits[k] > 0) return Fail(-3, "ERROR : sort_huffbits : Code length of %d is greater than 16.\n", k - 1);
  return 0;
}

bool WarnAllOnesCode(const uint8_t *sizes, const uint16_t *codes, int n, int tableId) {
  static const char kText[] =
      "WARNING: A code in the hufftable contains an all 1's code.\n         This image may still be "
      "decodable.\n         It is not compliant with the WSQ specification.\n";
  for (int i = 0; i < n; ++i)
    if (IsAllOnes(codes[i], sizes[i])) {
      if (tableId >= 0) Warn("%s         hufftable_id = %d\n", kText, tableId);
      else Warn("%s", kText);
      return true;
    }
  return false;
}

int build_huffcodes(uint8_t (&sizes)[kMaxHuffValues + 1], uint16_t (&codes)[kMaxHuffValues + 1],
                    const uint8_t (&bits)[kMaxHuffBits]) {
  int n = 0;
  for (int len = 1; len <= kMaxHuffBits; ++len)
    for (int i = 0; i < bits[len - 1] && n < kMaxHuffValues; ++i) sizes[n++] = uint8_t(len);
  uint32_t code = 0;
  int size = n ? sizes[0] : 0;
  for (int i = 0; i < n; ++i) {
    while (sizes[i] > size) {
      code <<= 1;
      ++size;
    }
    codes[i] = uint16_t(code);
    ++code;
  }
  return n;
}

int build_block_hufftable(HuffCode (&table)[kCodePoints], uint8_t (&bits)[kMaxHuffBits],
                          uint8_t (&values)[kMaxHuffValues], const int16_t *coeffs, const int *blockSizes,
                          int numBlocks) {
  int freq[kCodePoints] = {};
  size_t at = 0;
  for (int b = 0; b < numBlocks; ++b) {
    count_block(freq, coeffs + at, size_t(blockSizes[b]));
    at += size_t(blockSizes[b]);
  }
  return BuildHuffTableFromCounts(table, bits, values, freq);
}

int BuildHuffTableFromCounts(HuffCode (&table)[kCodePoints], uint8_t (&bits)[kMaxHuffBits],
                             uint8_t (&values)[kMaxHuffValues], const int (&counts)[kCodePoints]) {
  int freq[kCodePoints];
  std::copy(std::begin(counts), std::end(counts), freq);
  freq[kMaxHuffCounts] = 1;  // the reserved code point keeps real codes off all ones

  int codesize[kCodePoints];
  if (int ret = find_huff_sizes(codesize, freq)) return ret;

  int count[33] = {};
  bool tooLong = false;
  for (int i = 0; i < kMaxHuffCounts; ++i) {
    if (codesize[i] == 0) continue;
    ++count[codesize[i]];
    tooLong |= codesize[i] > kMaxHuffBits;
  }
  if (tooLong) {
    ++count[codesize[kMaxHuffCounts]];
    if (int ret = sort_huffbits(count)) return ret;
  }
  for (int i = 0; i < kMaxHuffBits; ++i) bits[i] = uint8_t(count[i + 1]);

  // Values in order of their size, then of their code point.
  int numValues = 0;
  for (int size = 1; size <= 32; ++size)
    for (int i = 0; i < kMaxHuffCounts; ++i)
      if (codesize[i] == size) values[numValues++] = uint8_t(i);

  uint8_t sizes[kMaxHuffValues + 1];
  uint16_t codes[kMaxHuffValues + 1];
  const int numCodes = build_huffcodes(sizes, codes, bits);
  if (WarnAllOnesCode(sizes, codes, numCodes, -1))
    return Fail(-1, "ERROR: This huffcode warning is an error for the encoder.\n");
  for (HuffCode &c : table) c = HuffCode{};
  for (int i = 0; i < numCodes && i < numValues; ++i) table[values[i]] = HuffCode{sizes[i], codes[i]};
  return 0;
}

int compress_block(BitWriter &bw, const int16_t *coeffs, size_t n, const HuffCode (&table)[kCodePoints]) {
  const int ret = ForEachSymbol(coeffs, n, [&](int symbol, int extraBits, unsigned extra) {
    const HuffCode &hc = table[symbol];
    if (hc.size == 0) return Fail(-2, "ERROR : compress_block : no code for symbol %d\n", symbol);
    if (int r = write_bits(bw, hc.code, hc.size)) return r;
    return extraBits ? write_bits(bw, extra, extraBits) : 0;
  });
  if (ret) return ret;
  return flush_bits(bw);
}

}  // namespace wsq
