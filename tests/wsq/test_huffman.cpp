// Symbol alphabet, table construction and the block coder and decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "huffman.h"
#include "segment_writers.h"
#include "wsq_test_util.h"

using namespace wsq;
using wsqtest::Bytes;
using wsqtest::StderrCapture;

namespace {

std::vector<int> Counts(const std::vector<int16_t> &c) {
  int counts[kCodePoints] = {};
  count_block(counts, c.data(), c.size());
  return std::vector<int>(counts, counts + 256);
}

struct Table {
  HuffCode codes[kCodePoints];
  uint8_t bits[kMaxHuffBits];
  uint8_t values[kMaxHuffValues];
};

int FromCounts(Table &t, const std::vector<int> &counts) {
  int c[kCodePoints] = {};
  std::copy(counts.begin(), counts.end(), c);
  return BuildHuffTableFromCounts(t.codes, t.bits, t.values, c);
}

void CheckTable(const Table &t, const std::vector<int> &counts) {
  uint64_t kraft = 0;
  int used = 0;
  for (int s = 0; s < 256; ++s) {
    const HuffCode &c = t.codes[s];
    ASSERT_EQ(c.size > 0, counts[size_t(s)] > 0) << s;
    if (!c.size) continue;
    ASSERT_LE(c.size, 16);
    ASSERT_NE(c.code, uint16_t((1u << c.size) - 1)) << "all-ones code for " << s;
    kraft += uint64_t(1) << (16 - c.size);
    ++used;
  }
  EXPECT_LT(kraft, uint64_t(1) << 16);
  int sent = 0;
  for (int i = 0; i < 16; ++i) sent += t.bits[i];
  EXPECT_EQ(sent, used);
  // Prefix-free: no code is the start of another.
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) {
      const HuffCode &x = t.codes[a], &y = t.codes[b];
      if (a == b || !x.size || !y.size || x.size > y.size) continue;
      ASSERT_NE(x.code, y.code >> (y.size - x.size)) << a << " prefixes " << b;
    }
}

// Codes coefficients as one block and decodes them back from a stream.
std::vector<int32_t> RoundTrip(const std::vector<int16_t> &c, int *ret = nullptr) {
  Table t;
  const int sizes[1] = {int(c.size())};
  EXPECT_EQ(build_block_hufftable(t.codes, t.bits, t.values, c.data(), sizes, 1), 0);
  Bytes buf(c.size() * 8 + 1024);
  OutBuffer out{buf.data(), buf.size(), 0};
  EXPECT_EQ(putc_huffman_table(DHT_WSQ, 0, t.bits, t.values, out), 0);
  EXPECT_EQ(putc_block_header(0, out), 0);
  BitWriter bw{buf.data() + out.fill, buf.size() - out.fill - 2};
  EXPECT_EQ(compress_block(bw, c.data(), c.size(), t.codes), 0);
  out.fill += bw.count;
  EXPECT_EQ(putc_marker(EOI_WSQ, out), 0);

  DecodeContext ctx;
  // Any frame at least as large as the block; the capacity sets the total.
  ctx.frame.width = 1000;
  ctx.frame.height = uint16_t(c.size() / 1000 + 1);
  WsqTrees trees;
  build_wsq_trees(trees, ctx.frame.width, ctx.frame.height);
  std::vector<int32_t> back(c.size() + 1, 0);
  InCursor in{buf.data(), buf.data() + out.fill};
  const int r = huffman_decode_data_mem(back.data(), c.size(), ctx, trees.q, in);
  if (ret)
    *ret = r;
  else
    EXPECT_EQ(r, 0);
  back.resize(c.size());
  return back;
}

}  // namespace

TEST(HuffmanSymbols, ExamplesFold) {
  {
    const auto n = Counts({0, 0, 0, 5, -80, 300});
    EXPECT_EQ(n[3], 1);
    EXPECT_EQ(n[185], 1);
    EXPECT_EQ(n[102], 1);
    EXPECT_EQ(n[103], 1);
    EXPECT_EQ(std::count(n.begin(), n.end(), 0), 252);
  }
  {
    std::vector<int16_t> c(150, 0);
    c.push_back(1);
    const auto n = Counts(c);
    EXPECT_EQ(n[105], 1);
    EXPECT_EQ(n[181], 1);
  }
  {
    const auto n = Counts(std::vector<int16_t>(70000, 0));
    EXPECT_EQ(n[106], 2);
    EXPECT_EQ(std::count(n.begin(), n.end(), 0), 255);
  }
  // The direct range is -73..74; -74 needs an escape.
  EXPECT_EQ(Counts({74})[254], 1);
  EXPECT_EQ(Counts({-73})[107], 1);
  EXPECT_EQ(Counts({-74})[102], 1);
  EXPECT_EQ(Counts({75})[101], 1);
  EXPECT_EQ(Counts({-256})[104], 1);
  EXPECT_EQ(Counts(std::vector<int16_t>(100, 0))[100], 1);
  EXPECT_EQ(Counts(std::vector<int16_t>(101, 0))[105], 1);
  EXPECT_EQ(Counts(std::vector<int16_t>(256, 0))[106], 1);
}

TEST(HuffmanTables, SingleSymbolAndTies) {
  Table t;
  std::vector<int> counts(256, 0);
  counts[42] = 9;
  ASSERT_EQ(FromCounts(t, counts), 0);
  EXPECT_EQ(t.codes[42].size, 1);
  EXPECT_EQ(t.codes[42].code, 0);
  EXPECT_EQ(t.bits[0], 1);
  // Equal frequencies: the larger code point ends with the longer or equal code.
  counts.assign(256, 0);
  for (int s : {10, 20, 30}) counts[size_t(s)] = 5;
  ASSERT_EQ(FromCounts(t, counts), 0);
  EXPECT_LE(t.codes[10].size, t.codes[20].size);
  EXPECT_LE(t.codes[20].size, t.codes[30].size);
  CheckTable(t, counts);
  // Empty block: no codes at all.
  counts.assign(256, 0);
  ASSERT_EQ(FromCounts(t, counts), 0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(t.bits[i], 0);
}

TEST(HuffmanTables, PropertiesHoldForRandomAndDeepCounts) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 40; ++trial) {
    std::vector<int> counts(256, 0);
    for (int s = 1; s < 255; ++s)
      if (rng() % 3) counts[size_t(s)] = 1 + int(rng() % (trial % 2 ? 10 : 100000));
    Table t;
    ASSERT_EQ(FromCounts(t, counts), 0);
    CheckTable(t, counts);
  }
  // Fibonacci frequencies make the plain code lengths exceed 16.
  std::vector<int> fib(256, 0);
  int a = 1, b = 1;
  for (int s = 1; s <= 30; ++s) {
    fib[size_t(s)] = a;
    const int next = a + b;
    a = b;
    b = next;
  }
  Table t;
  ASSERT_EQ(FromCounts(t, fib), 0);
  CheckTable(t, fib);
  int longest = 0;
  for (const HuffCode &c : t.codes) longest = std::max(longest, int(c.size));
  EXPECT_EQ(longest, 16);
}

TEST(HuffmanTables, LengthLimitStepsGuardTheirSearch) {
  int bits[33] = {};
  bits[20] = 2;  // nothing shorter to borrow from
  StderrCapture err;
  EXPECT_EQ(sort_huffbits(bits), -3);
}

TEST(HuffmanCoding, BlocksRoundTripWithEveryEscape) {
  std::vector<int16_t> c = {0, 0, 0, 5, -80, 300, 74, -73, -74, 75, 255, 256, -255, -256, 32767, -32767, 1};
  c.insert(c.end(), 150, 0);
  c.push_back(-1);
  c.insert(c.end(), 70000, 0);
  c.push_back(7);
  std::mt19937 rng(4);
  for (int i = 0; i < 5000; ++i) c.push_back(int16_t(int(rng() % 41) - 20));
  EXPECT_EQ(RoundTrip(c), std::vector<int32_t>(c.begin(), c.end()));
  // All zeros, and nothing at all.
  const std::vector<int16_t> zeros(1000, 0);
  EXPECT_EQ(RoundTrip(zeros), std::vector<int32_t>(1000, 0));
}

namespace {

// DHT id 0 with codes "0", "10", "110" for the given three symbols.
Bytes ThreeCodeTable(unsigned a, unsigned b, unsigned c) {
  wsqtest::Builder t;
  t.u8(0).u8(1).u8(1).u8(1);
  for (int i = 3; i < 16; ++i) t.u8(0);
  t.u8(a).u8(b).u8(c);
  return wsqtest::Builder().segment(0xFFA6, t.b).b;
}

int DecodeBlock(const Bytes &tables, const Bytes &data, int total, std::vector<int32_t> *out, bool eoi = true) {
  wsqtest::Builder s;
  s.raw(tables).segment(0xFFA3, {0}).raw(data);
  if (eoi) s.u16(0xFFA1);
  DecodeContext ctx;
  ctx.frame.width = uint16_t(total);
  ctx.frame.height = 1;
  WsqTrees trees;
  build_wsq_trees(trees, total, 1);
  out->assign(size_t(total), 0);
  InCursor in{s.b.data(), s.b.data() + s.b.size()};
  return huffman_decode_data_mem(out->data(), out->size(), ctx, trees.q, in);
}

}  // namespace

TEST(HuffmanCoding, HandPackedBlockWithStuffing) {
  // [110][11111111] [0] [10] [110][11111111], padded with ones:
  // DF EB 7F FF, the last 0xFF stuffed.
  const Bytes table = ThreeCodeTable(181, 179, 101);
  std::vector<int32_t> c;
  ASSERT_EQ(DecodeBlock(table, {0xDF, 0xEB, 0x7F, 0xFF, 0x00}, 4, &c), 0);
  EXPECT_EQ(c, (std::vector<int32_t>{255, 1, -1, 255}));
  // An EOI before the total leaves the rest zero.
  ASSERT_EQ(DecodeBlock(table, {0x5F}, 6, &c), 0);  // [0][10] then padding
  EXPECT_EQ(c, (std::vector<int32_t>{1, -1, 0, 0, 0, 0}));
}

TEST(HuffmanCoding, CorruptBlocksFailCleanly) {
  StderrCapture err;
  std::vector<int32_t> c;
  const Bytes table = ThreeCodeTable(181, 179, 101);
  // One coefficient more than the total.
  EXPECT_EQ(DecodeBlock(table, {0xDF, 0xEB, 0x7F, 0xFF, 0x00}, 3, &c), -51);
  // A run past the total: symbol 5 is a run of five zeros.
  EXPECT_EQ(DecodeBlock(ThreeCodeTable(5, 179, 101), {0x3F}, 4, &c), -51);
  // 8-bit and 16-bit run escapes past the total.
  EXPECT_EQ(DecodeBlock(ThreeCodeTable(105, 179, 106), {0x7F, 0xFF, 0x00}, 10, &c), -51);
  EXPECT_EQ(DecodeBlock(ThreeCodeTable(106, 179, 105), {0x00, 0x7F, 0xFF, 0x00}, 10, &c), -51);
  // Symbols 0 and 255 are not in the alphabet.
  EXPECT_EQ(DecodeBlock(ThreeCodeTable(0, 179, 101), {0x7F}, 4, &c), -52);
  EXPECT_EQ(DecodeBlock(ThreeCodeTable(255, 179, 101), {0x7F}, 4, &c), -52);
  // A marker inside extra bits.
  EXPECT_EQ(DecodeBlock(table, {0xDF, 0xFF, 0xA1}, 4, &c, false), -41);
  // Data running to the end of the buffer.
  EXPECT_EQ(DecodeBlock(table, {0x00, 0x00}, 40, &c, false), -39);
  const std::string log = err.Take();
  EXPECT_NE(log.find("ERROR : huffman_decode_data_mem [1]: Decoded data extends past image buffer. "
                     "Encoded data appears corrupt or non-standard.\n"),
            std::string::npos);
  EXPECT_NE(log.find("[2]: "), std::string::npos);
  EXPECT_NE(log.find("[3]: "), std::string::npos);
  EXPECT_NE(log.find("[4]: "), std::string::npos);
  EXPECT_NE(log.find("ERROR: huffman_decode_data_mem : Invalid code 0 (0).\n"), std::string::npos);
}

TEST(HuffmanCoding, CodeSearchStopsAtSixteenBits) {
  // One 16-bit code of zeros; a run of ones never matches.
  wsqtest::Builder t;
  t.u8(0);
  for (int i = 0; i < 15; ++i) t.u8(0);
  t.u8(1).u8(181);
  const Bytes table = wsqtest::Builder().segment(0xFFA6, t.b).b;
  std::vector<int32_t> c;
  StderrCapture err;
  EXPECT_EQ(DecodeBlock(table, {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00}, 4, &c), -51);
  // A block naming a slot without a table.
  EXPECT_EQ(DecodeBlock({}, {0x00}, 4, &c), -51);
  EXPECT_NE(err.Take().find("ERROR : huffman_decode_data_mem : huffman table {0} undefined.\n"), std::string::npos);
}
