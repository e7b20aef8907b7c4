// Segment writers and readers, marker classes, the header-only query, and a
// table of malformed headers that must fail cleanly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "filters.h"
#include "nistcom.h"
#include "segment_readers.h"
#include "segment_writers.h"
#include "wsq_header.h"
#include "wsq_test_util.h"

using namespace wsq;
using wsqtest::Builder;
using wsqtest::Bytes;
using wsqtest::StderrCapture;

namespace {

struct Out {
  uint8_t buf[4096] = {};
  OutBuffer out{buf, sizeof buf, 0};
  Bytes bytes() const { return Bytes(buf, buf + out.fill); }
};

InCursor Cursor(const Bytes &b) { return InCursor{b.data(), b.data() + b.size()}; }

}  // namespace

TEST(SegmentWriters, BytesAsLaidOut) {
  {
    Out o;
    ASSERT_EQ(putc_comment(COM_WSQ, reinterpret_cast<const uint8_t *>("Morvek"), 6, o.out), 0);
    EXPECT_EQ(o.bytes(), (Bytes{0xFF, 0xA8, 0x00, 0x08, 'M', 'o', 'r', 'v', 'e', 'k'}));
  }
  {
    Out o;
    QuantizerParams p;
    p.q[0] = 7.5f;
    p.z[0] = 9.0f;
    p.q[61] = 1.0f;  // never coded, written as zeros
    p.z[61] = 1.2f;
    ASSERT_EQ(putc_quantization_table(p, o.out), 0);
    const Bytes b = o.bytes();
    ASSERT_EQ(b.size(), 391u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 13),
              (Bytes{0xFF, 0xA5, 0x01, 0x85, 0x02, 0x00, 0x2C, 0x03, 0x1D, 0x4C, 0x03, 0x23, 0x28}));
    for (size_t i = 13; i < b.size(); ++i) ASSERT_EQ(b[i], 0) << i;
  }
  {
    Out o;
    ASSERT_EQ(putc_frame_header_wsq(256, 360, 127.5f, 1.0f, o.out), 0);
    EXPECT_EQ(o.bytes(), (Bytes{0xFF, 0xA2, 0x00, 0x11, 0x00, 0xFF, 0x01, 0x68, 0x01, 0x00, 0x02, 0x31, 0xCE,
                                0x04, 0x27, 0x10, 0x00, 0x00, 0x00}));
  }
  {
    Out o;
    uint8_t bits[16] = {0, 2, 1};
    const uint8_t values[3] = {7, 9, 180};
    ASSERT_EQ(putc_huffman_table(DHT_WSQ, 1, bits, values, o.out), 0);
    Bytes expect{0xFF, 0xA6, 0x00, 22, 1, 0, 2, 1};
    expect.resize(4 + 1 + 16, 0);
    expect.insert(expect.end(), {7, 9, 180});
    EXPECT_EQ(o.bytes(), expect);
  }
  {
    Out o;
    ASSERT_EQ(putc_block_header(1, o.out), 0);
    EXPECT_EQ(o.bytes(), (Bytes{0xFF, 0xA3, 0x00, 0x03, 0x01}));
  }
}

TEST(SegmentWriters, TransformTableHoldsUpperHalves) {
  Out o;
  ASSERT_EQ(putc_transform_table(kLoFilt, 9, kHiFilt, 7, o.out), 0);
  const Bytes b = o.bytes();
  ASSERT_EQ(b.size(), 60u);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 6), (Bytes{0xFF, 0xA4, 0x00, 0x3A, 0x09, 0x07}));
  const float expect[9] = {0.852698679009403f,  0.377402855612654f,  -0.110624404418423f,
                           -0.023849465019380f, 0.037828455506995f,  0.788485616405664f,
                           -0.418092273222212f, -0.040689417609558f, 0.064538882628938f};
  // The largest scale that keeps the tap times 10^scale below 2^32 - 1.
  const int scales[9] = {9, 10, 10, 11, 11, 9, 10, 11, 10};
  for (int i = 0; i < 9; ++i) {
    const uint8_t *t = &b[size_t(6 + 6 * i)];
    EXPECT_EQ(t[0], expect[i] < 0 ? 1 : 0) << i;
    EXPECT_EQ(t[1], scales[i]) << i;
    const uint32_t m = (uint32_t(t[2]) << 24) | (t[3] << 16) | (t[4] << 8) | t[5];
    EXPECT_NEAR(m / std::pow(10.0, scales[i]), std::fabs(expect[i]), 1e-6) << i;
  }
  // A tap at the 32-bit limit cannot be written.
  const float huge[3] = {1.0f, 5e9f, 1.0f};
  Out bad;
  StderrCapture err;
  EXPECT_EQ(putc_transform_table(huge, 3, kHiFilt, 7, bad.out), -82);
  EXPECT_EQ(putc_transform_table(kLoFilt, 9, huge, 3, bad.out), -83);
  QuantizerParams p;
  p.q[3] = 70000.0f;
  EXPECT_EQ(putc_quantization_table(p, bad.out), -86);
  p.q[3] = 1.0f;
  p.z[3] = NAN;
  EXPECT_EQ(putc_quantization_table(p, bad.out), -87);
  const std::string log = err.Take();
  EXPECT_NE(log.find("ERROR: putc_transform_table : lofilt[1] to high at"), std::string::npos);
  EXPECT_NE(log.find("ERROR : putc_quantization_table : Q[3] to high at 70000.000000\n"), std::string::npos);
}

TEST(SegmentReaders, ReadBackWhatWasWritten) {
  Out o;
  QuantizerParams p;
  p.q[5] = 7.5f;
  p.z[5] = 9.0f;
  ASSERT_EQ(putc_marker(SOI_WSQ, o.out), 0);
  ASSERT_EQ(putc_transform_table(kLoFilt, 9, kHiFilt, 7, o.out), 0);
  ASSERT_EQ(putc_quantization_table(p, o.out), 0);
  ASSERT_EQ(putc_frame_header_wsq(257, 301, 127.5f, 1.25f, o.out), 0);
  uint8_t bits[16] = {1, 1};
  const uint8_t values[2] = {3, 185};
  ASSERT_EQ(putc_huffman_table(DHT_WSQ, 6, bits, values, o.out), 0);
  ASSERT_EQ(putc_block_header(6, o.out), 0);
  const Bytes s = o.bytes();

  DecodeContext ctx;
  InCursor in = Cursor(s);
  ASSERT_EQ(ReadStreamPrologue(ctx, in), 0);
  EXPECT_EQ(ctx.frame.width, 257);
  EXPECT_EQ(ctx.frame.height, 301);
  EXPECT_EQ(ctx.frame.white, 255);
  EXPECT_FLOAT_EQ(ctx.frame.mShift, 127.5f);
  EXPECT_FLOAT_EQ(ctx.frame.rScale, 1.25f);
  ASSERT_TRUE(ctx.dqt.defined);
  EXPECT_FLOAT_EQ(ctx.dqt.binCenter, 0.44f);
  EXPECT_FLOAT_EQ(ctx.dqt.q[5], 7.5f);
  EXPECT_FLOAT_EQ(ctx.dqt.z[5], 9.0f);
  EXPECT_EQ(ctx.dqt.q[4], 0.0f);
  // Synthesis filters: high-pass from the low-pass taps, low-pass from the
  // high-pass taps, signs alternating from the centre.
  ASSERT_TRUE(ctx.dtt.loDefined && ctx.dtt.hiDefined);
  ASSERT_EQ(ctx.dtt.hifilt.size(), 9u);
  ASSERT_EQ(ctx.dtt.lofilt.size(), 7u);
  for (int n = -4; n <= 4; ++n)
    EXPECT_NEAR(ctx.dtt.hifilt[size_t(4 + n)], (n % 2 ? -1 : 1) * kLoFilt[4 + n], 1e-7) << n;
  for (int n = -3; n <= 3; ++n)
    EXPECT_NEAR(ctx.dtt.lofilt[size_t(3 + n)], (n % 2 ? -1 : 1) * kHiFilt[3 + n], 1e-7) << n;

  uint16_t marker;
  ASSERT_EQ(getc_marker_wsq(&marker, kTblsNSob, in), 0);
  ASSERT_EQ(getc_table_wsq(marker, ctx, in), 0);
  ASSERT_TRUE(ctx.huff[6].defined);
  EXPECT_EQ(ctx.huff[6].numValues, 2);
  EXPECT_EQ(ctx.huff[6].values[1], 185);
  ASSERT_EQ(getc_marker_wsq(&marker, kTblsNSob, in), 0);
  ASSERT_EQ(marker, SOB_WSQ);
  int id = -1;
  ASSERT_EQ(getc_block_header(&id, in), 0);
  EXPECT_EQ(id, 6);
  EXPECT_EQ(in.cur, in.end);
}

TEST(SegmentReaders, StepsOfTheUncodedQuadrantCountAsZero) {
  // A foreign DQT with steps for 60-63: those subbands are never sent, so
  // their steps must not shrink the decoder's coefficient total.
  Bytes body = wsqtest::DqtBody(7.5f, 9.0f);
  const size_t at61 = 3 + 61 * 6;
  body[at61 + 0] = 0;
  body[at61 + 2] = 5;  // Q = 5
  body[at61 + 3] = 0;
  body[at61 + 5] = 6;  // Z = 6
  const Bytes seg = Builder().u16(unsigned(body.size() + 2)).raw(body).b;
  InCursor in = Cursor(seg);
  QuantizationTable t;
  ASSERT_EQ(getc_quantization_table(t, in), 0);
  EXPECT_FLOAT_EQ(t.q[0], 7.5f);
  EXPECT_EQ(t.q[61], 0.0f);
  EXPECT_EQ(t.z[61], 0.0f);
}

TEST(SegmentReaders, MarkerClasses) {
  struct Case {
    unsigned value;
    int cls;
    int expect;
    const char *message;
  };
  const Case cases[] = {
      {0xFFA0, kSoiClass, 0, ""},
      {0xFFA1, kSoiClass, -88, "ERROR : getc_marker_wsq : No SOI marker. {FFA1}\n"},
      {0xFFA2, kTblsNSof, 0, ""},
      {0xFFA3, kTblsNSof, -89, "ERROR : getc_marker_wsq : No SOF, Table, or comment markers.\n"},
      {0xFFA7, kTblsNSof, -89, nullptr},
      {0xFFA3, kTblsNSob, 0, ""},
      {0xFFA2, kTblsNSob, -90, "ERROR : getc_marker_wsq : No SOB, Table, or comment markers.{FFA2}\n"},
      {0xFFA7, kAnyWsq, 0, ""},
      {0xFFB0, kAnyWsq, -92, "ERROR : getc_marker_wsq : {FFB0} not a valid marker\n"},
      {0x12A0, kAnyWsq, -91, "ERROR : getc_marker_wsq : no marker found {12A0}\n"},
      {0xFFA0, 9, -93, "ERROR : getc_marker_wsq : Invalid marker -> {FFA0}\n"},
  };
  for (const Case &c : cases) {
    const Bytes b = Builder().u16(c.value).b;
    InCursor in = Cursor(b);
    uint16_t marker = 0;
    StderrCapture err;
    EXPECT_EQ(getc_marker_wsq(&marker, c.cls, in), c.expect) << std::hex << c.value;
    const std::string log = err.Take();
    if (c.message) {
      EXPECT_EQ(log, c.message);
    }
  }
  StderrCapture err;
  const Bytes b{0x00, 0x02};
  InCursor in = Cursor(b);
  DecodeContext ctx;
  EXPECT_EQ(getc_table_wsq(SOF_WSQ, ctx, in), -93);
  EXPECT_EQ(err.Take(), "ERROR: getc_table_wsq : Invalid table defined -> {65442}\n");
}

TEST(SegmentReaders, SeveralHuffmanTablesInOneSegment) {
  auto table = [](Builder &b, unsigned id) {
    b.u8(id).u8(1).u8(1);
    for (int i = 2; i < 16; ++i) b.u8(0);
    b.u8(3).u8(185);
  };
  Builder two;
  table(two, 0);
  table(two, 3);
  Bytes seg = Builder().u16(unsigned(two.b.size() + 2)).raw(two.b).b;
  DecodeContext ctx;
  InCursor in = Cursor(seg);
  ASSERT_EQ(getc_huffman_table_wsq(ctx.huff, in), 0);
  EXPECT_TRUE(ctx.huff[0].defined);
  EXPECT_TRUE(ctx.huff[3].defined);
  // The first table of a segment may replace a slot; a later one may not.
  in = Cursor(seg);
  StderrCapture err;
  EXPECT_EQ(getc_huffman_table_wsq(ctx.huff, in), -2);
  EXPECT_EQ(err.Take(), "ERROR : getc_huffman_table_wsq : huffman table ID = 3 already defined\n");
}

TEST(SegmentReaders, SkipNeedsRoomBeforeTheEnd) {
  StderrCapture err;
  const Bytes ok{0x00, 0x04, 1, 2, 9};
  InCursor in = Cursor(ok);
  EXPECT_EQ(getc_skip_marker_segment(COM_WSQ, in), 0);
  EXPECT_EQ(*in.cur, 9);
  const Bytes exact{0x00, 0x04, 1, 2};
  in = Cursor(exact);
  EXPECT_EQ(getc_skip_marker_segment(COM_WSQ, in), -2);
  EXPECT_EQ(err.Take(),
            "ERROR : getc_skip_marker_segment : unexpected end of buffer when parsing marker 65448 segment of "
            "length 2\n");
  for (unsigned len : {0u, 1u}) {
    const Bytes b = Builder().u16(len).raw({1, 2, 3}).b;
    in = Cursor(b);
    EXPECT_EQ(getc_skip_marker_segment(COM_WSQ, in), -2) << len;
  }
}

TEST(HeaderQuery, ReportsSizeAndPpi) {
  WsqHeader h;
  const std::string nist = "NIST_COM 3\nPIX_WIDTH 40\nPPI 1000";
  Bytes s = wsqtest::HeaderStream(40, 30, nist);
  ASSERT_EQ(wsq_query_header(&h, s.data(), s.size()), 0);
  EXPECT_EQ(h.width, 40);
  EXPECT_EQ(h.height, 30);
  EXPECT_EQ(h.depth, 8);
  EXPECT_EQ(h.ppi, 1000);
  EXPECT_EQ(h.lossy, 1);

  struct PpiCase {
    std::string comment;
    int ppi;
  };
  const PpiCase cases[] = {
      {"", -1},                                         // no NISTCOM at all
      {"NIST_COM 1", -1},                               // NISTCOM without PPI
      {"NIST_COM 2\nPPI", -1},                          // PPI without value
      {"NIST_COM 2\nPPI 99999999999999999999", -1},     // out of range
      {"NIST_COM 2\nPPI -500", -500},
      {"NIST_", -1},                                    // too short to be NISTCOM
      {"Morvek", -1},
  };
  for (const PpiCase &c : cases) {
    s = wsqtest::HeaderStream(8, 8, c.comment);
    ASSERT_EQ(wsq_query_header(&h, s.data(), s.size()), 0) << c.comment;
    EXPECT_EQ(h.ppi, c.ppi) << c.comment;
  }
  // A NISTCOM after the first SOB is not looked at.
  const Bytes late = Builder().raw(wsqtest::HeaderStream(8, 8)).comment("NIST_COM 2\nPPI 9").u16(0xFFA1).b;
  ASSERT_EQ(wsq_query_header(&h, late.data(), late.size()), 0);
  EXPECT_EQ(h.ppi, -1);
}

namespace {

struct Malformed {
  const char *name;
  Bytes stream;
  int code;  // 0: any failure
};

Bytes Soi() { return Builder().u16(0xFFA0).b; }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Seg(unsigned marker, const Bytes &body) { return Builder().segment(marker, body).b; }
Bytes SegLen(unsigned marker, unsigned length, const Bytes &body) {
  return Builder().u16(marker).u16(length).raw(body).b;
}
Bytes HuffBody(unsigned id, std::vector<unsigned> counts, unsigned numValues) {
  Builder b;
  b.u8(id);
  counts.resize(16, 0);
  for (unsigned c : counts) b.u8(c);
  for (unsigned i = 0; i < numValues; ++i) b.u8(1 + i % 200);
  return b.b;
}

std::vector<Malformed> MalformedHeaders() {
  using wsqtest::DqtBody;
  using wsqtest::DttBody;
  using wsqtest::SofBody;
  const Bytes dtt = Seg(0xFFA4, DttBody());
  const Bytes dqt = Seg(0xFFA5, DqtBody());
  const Bytes sof = Seg(0xFFA2, SofBody(16, 16));
  const Bytes tail = Cat({dtt, dqt, sof, Seg(0xFFA3, {0})});
  const Bytes dttBody = DttBody();
  const Bytes dttCut(dttBody.begin(), dttBody.begin() + 28);
  Bytes dtt0 = dttBody, dttEven = dttBody, dtt255 = dttBody;
  dtt0[0] = 0;
  dttEven[1] = 6;
  dtt255[0] = 255;
  return {
      {"empty", {}, -40},
      {"one byte", {0xFF}, -40},
      {"no SOI", {0xFF, 0xA1}, -88},
      {"junk before SOI", Cat({{0x00, 0x01}, Soi(), tail}), -88},
      {"EOI after SOI", Cat({Soi(), {0xFF, 0xA1}}), -89},
      {"SOI only", Soi(), -40},
      {"unused marker FFA7", Cat({Soi(), {0xFF, 0xA7, 0x00, 0x02}, tail}), -89},
      {"restart marker", Cat({Soi(), {0xFF, 0xB0}, tail}), -89},
      {"SOB before SOF", Cat({Soi(), Seg(0xFFA3, {0})}), -89},
      {"COM length 0", Cat({Soi(), SegLen(0xFFA8, 0, {}), tail}), -2},
      {"COM length 1", Cat({Soi(), SegLen(0xFFA8, 1, {}), tail}), -2},
      {"COM length past end", Cat({Soi(), SegLen(0xFFA8, 40, {'a', 'b'})}), -2},
      {"COM length FFFF", Cat({Soi(), SegLen(0xFFA8, 0xFFFF, {'a'}), tail}), -2},
      {"DTT length 2", Cat({Soi(), SegLen(0xFFA4, 2, {}), tail}), -2},
      {"DTT length 1", Cat({Soi(), SegLen(0xFFA4, 1, {}), tail}), -2},
      {"DTT short of its taps", Cat({Soi(), SegLen(0xFFA4, 30, dttCut), tail}), -2},
      {"DTT zero taps", Cat({Soi(), Seg(0xFFA4, dtt0), tail}), -98},
      {"DTT even taps", Cat({Soi(), Seg(0xFFA4, dttEven), tail}), -98},
      {"DTT 255 taps in 58 bytes", Cat({Soi(), Seg(0xFFA4, dtt255), tail}), -2},
      {"DQT length 0", Cat({Soi(), SegLen(0xFFA5, 0, {}), tail}), -2},
      {"DQT short", Cat({Soi(), SegLen(0xFFA5, 100, Bytes(98, 0)), tail}), -2},
      {"DQT past end", Cat({Soi(), SegLen(0xFFA5, 389, Bytes(50, 0))}), -2},
      {"DHT length 2", Cat({Soi(), SegLen(0xFFA6, 2, {}), tail}), -2},
      {"DHT id 8", Cat({Soi(), Seg(0xFFA6, HuffBody(8, {1, 1}, 2)), tail}), -2},
      {"DHT id 255", Cat({Soi(), Seg(0xFFA6, HuffBody(255, {1, 1}, 2)), tail}), -2},
      {"DHT 258 values", Cat({Soi(), Seg(0xFFA6, HuffBody(0, {0, 0, 0, 0, 0, 0, 0, 0, 255, 3}, 258)), tail}), -4},
      {"DHT over-full", Cat({Soi(), Seg(0xFFA6, HuffBody(0, {3}, 3)), tail}), -2},
      {"DHT values past segment", Cat({Soi(), SegLen(0xFFA6, 20, HuffBody(0, {2}, 2)), tail}), -2},
      {"DHT counts past segment", Cat({Soi(), SegLen(0xFFA6, 10, HuffBody(0, {2}, 2)), tail}), -40},
      {"DHT same id twice", Cat({Soi(), Seg(0xFFA6, Cat({HuffBody(2, {1}, 1), HuffBody(2, {1}, 1)})), tail}), -2},
      {"SOF width 0", Cat({Soi(), dtt, dqt, Seg(0xFFA2, SofBody(0, 16)), Seg(0xFFA3, {0})}), -2},
      {"SOF height 0", Cat({Soi(), dtt, dqt, Seg(0xFFA2, SofBody(16, 0)), Seg(0xFFA3, {0})}), -2},
      {"SOF length 2", Cat({Soi(), dtt, dqt, SegLen(0xFFA2, 2, {}), Seg(0xFFA3, {0})}), -2},
      {"SOF short", Cat({Soi(), dtt, dqt, SegLen(0xFFA2, 10, Bytes(8, 1)), Seg(0xFFA3, {0})}), -2},
      {"cut after SOF", Cat({Soi(), dtt, dqt, sof}), -2},
      {"NISTCOM name too long",
       Cat({Soi(), Builder().comment("NIST_COM 2\n" + std::string(512, 'A') + " 1").b, tail}), -3},
      {"NISTCOM value too long",
       Cat({Soi(), Builder().comment("NIST_COM 2\nPPI " + std::string(600, '5')).b, tail}), -3},
  };
}

}  // namespace

TEST(HeaderQuery, MalformedHeadersFailCleanly) {
  // WSQ_WRITE_CORPUS=dir refreshes the fuzz seeds from this table.
  const char *corpus = std::getenv("WSQ_WRITE_CORPUS");
  if (corpus)
    wsqtest::WriteFile(std::string(corpus) + "/valid_header",
                       wsqtest::HeaderStream(40, 30, "NIST_COM 3\nPIX_WIDTH 40\nPPI 500"));
  for (const Malformed &m : MalformedHeaders()) {
    if (corpus) wsqtest::WriteFile(std::string(corpus) + "/" + m.name, m.stream);
    WsqHeader h;
    StderrCapture err;
    const int ret = wsq_query_header(&h, m.stream.data(), m.stream.size());
    const std::string log = err.Take();
    if (m.code)
      EXPECT_EQ(ret, m.code) << m.name;
    else
      EXPECT_LT(ret, 0) << m.name;
    // Exactly one ERROR line, the failing routine's.
    EXPECT_EQ(log.rfind("ERROR", 0), 0u) << m.name << ": " << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << m.name << ": " << log;
  }
}

TEST(HeaderQuery, LongestNamesAndValuesAreAccepted) {
  WsqHeader h;
  const Bytes s = wsqtest::HeaderStream(8, 8, "NIST_COM 2\n" + std::string(511, 'A') + " " + std::string(511, 'v'));
  EXPECT_EQ(wsq_query_header(&h, s.data(), s.size()), 0);
}

TEST(HeaderQuery, EveryPrefixFails) {
  const Bytes s = wsqtest::HeaderStream(40, 30, "NIST_COM 2\nPPI 500");
  StderrCapture err;
  // Up to the SOB marker, which ends the search for a NISTCOM comment.
  for (size_t n = 0; n + 5 < s.size(); ++n) {
    WsqHeader h;
    EXPECT_LT(wsq_query_header(&h, s.data(), n), 0) << n;
  }
}
