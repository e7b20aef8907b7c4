// Huffman coding of quantised coefficients: the symbol alphabet, table
// construction from symbol counts, the block coder and the block decoder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bit_io.h"
#include "byte_io.h"
#include "wsq_format.h"
#include "wsq_trees.h"

namespace wsq {

constexpr int kMaxCoeff = 74;   // largest coefficient with a symbol of its own
constexpr int kMaxZeroRun = 100;  // longest zero run with a symbol of its own
constexpr int kCodePoints = kMaxHuffCounts + 1;  // 0..255 and the reserved 256

struct HuffCode {
  uint8_t size = 0;  // 0: no code
  uint16_t code = 0;
};

// Adds the symbol counts of n coefficients to counts[0..255].
void count_block(int (&counts)[kCodePoints], const int16_t *coeffs, size_t n);

// Table for one block or for several blocks that follow each other in coeffs.
int build_block_hufftable(HuffCode (&table)[kCodePoints], uint8_t (&bits)[kMaxHuffBits],
                          uint8_t (&values)[kMaxHuffValues], const int16_t *coeffs, const int *blockSizes,
                          int numBlocks);

// The same from symbol counts of code points 0..255 (256 is set to 1).
int BuildHuffTableFromCounts(HuffCode (&table)[kCodePoints], uint8_t (&bits)[kMaxHuffBits],
                             uint8_t (&values)[kMaxHuffValues], const int (&counts)[kCodePoints]);

// The table steps, exposed for their own tests.
int find_huff_sizes(int (&codesize)[kCodePoints], int (&freq)[kCodePoints]);
int sort_huffbits(int (&bits)[33]);
// Canonical codes for the sizes listed by bits; returns the number of codes.
int build_huffcodes(uint8_t (&sizes)[kMaxHuffValues + 1], uint16_t (&codes)[kMaxHuffValues + 1],
                    const uint8_t (&bits)[kMaxHuffBits]);
// Warns when one of the n codes is all 1-bits, which the format does not
// allow; true when one is. The decoder names the table (tableId >= 0).
bool WarnAllOnesCode(const uint8_t *sizes, const uint16_t *codes, int n, int tableId);

// Codes one block and flushes the bit writer.
int compress_block(BitWriter &bw, const int16_t *coeffs, size_t n, const HuffCode (&table)[kCodePoints]);

// Decodes the blocks that follow the frame header up to EOI into coeffs
// (capacity values, zeroed by the caller).
int huffman_decode_data_mem(int32_t *coeffs, size_t capacity, DecodeContext &ctx,
                            const SubbandNode (&q)[kNumSubbands], InCursor &in);

}  // namespace wsq
