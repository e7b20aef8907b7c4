// Byte readers/writers, the bit packer with its stuffing, and scaled numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "bit_io.h"
#include "byte_io.h"
#include "scaled_number.h"
#include "wsq_test_util.h"

using namespace wsq;
using wsqtest::Bytes;
using wsqtest::StderrCapture;

namespace {

Bytes Pack(const std::vector<std::pair<uint32_t, int>> &fields, bool flush = true) {
  Bytes buf(4096);
  BitWriter bw{buf.data(), buf.size()};
  for (auto [v, n] : fields) EXPECT_EQ(write_bits(bw, v, n), 0);
  if (flush) {
    EXPECT_EQ(flush_bits(bw), 0);
  }
  buf.resize(bw.count);
  return buf;
}

}  // namespace

TEST(BitWriter, StuffsAndPadsAsSpecified) {
  EXPECT_EQ(Pack({{0xFF, 8}}), (Bytes{0xFF, 0x00}));
  EXPECT_EQ(Pack({{0b101, 3}}), (Bytes{0xBF}));
  EXPECT_EQ(Pack({{0x7F, 7}}), (Bytes{0xFF, 0x00}));  // padding can make a 0xFF too
  EXPECT_EQ(Pack({}), Bytes{});
  EXPECT_EQ(Pack({{0xABCD, 16}}), (Bytes{0xAB, 0xCD}));
}

TEST(BitWriter, BoundedBufferFailsInsteadOfOverrunning) {
  uint8_t buf[3] = {};
  BitWriter bw{buf, 2};
  StderrCapture err;
  EXPECT_EQ(write_bits(bw, 0x12, 8), 0);
  // 0xFF needs two bytes with its stuffing, one is left.
  EXPECT_EQ(write_bits(bw, 0xFF, 8), -47);
  EXPECT_EQ(bw.count, 1u);
  EXPECT_EQ(buf[2], 0);
  EXPECT_NE(err.Take().find("ERROR"), std::string::npos);
}

TEST(BitReader, ReadsStuffedBytesAndMarkers) {
  {
    const Bytes data{0xFF, 0x00};
    InCursor in{data.data(), data.data() + data.size()};
    BitReader br;
    uint16_t marker = 0, bits = 0;
    for (int i = 0; i < 8; ++i) {
      ASSERT_EQ(getc_nextbits_wsq(&bits, &marker, in, br, 1), 0);
      EXPECT_EQ(bits, 1);
    }
    EXPECT_EQ(marker, 0);
    StderrCapture err;
    EXPECT_EQ(getc_nextbits_wsq(&bits, &marker, in, br, 1), -39);
  }
  {
    const Bytes data{0xFF, 0xA3};
    InCursor in{data.data(), data.data() + data.size()};
    BitReader br;
    uint16_t marker = 0, bits = 0;
    ASSERT_EQ(getc_nextbits_wsq(&bits, &marker, in, br, 1), 0);
    EXPECT_EQ(marker, 0xFFA3);
    EXPECT_EQ(bits, 1);
  }
  {
    const Bytes data{0xFF, 0xA3};
    InCursor in{data.data(), data.data() + data.size()};
    BitReader br;
    uint16_t marker = 0, bits = 0;
    StderrCapture err;
    EXPECT_EQ(getc_nextbits_wsq(&bits, &marker, in, br, 8), -41);
    EXPECT_EQ(err.Take(), "ERROR: getc_nextbits_wsq : No stuffed zeros\n");
  }
  {
    // A marker inside the second byte of a multi-byte read is an error too.
    const Bytes data{0x80, 0xFF, 0xA3};
    InCursor in{data.data(), data.data() + data.size()};
    BitReader br;
    uint16_t marker = 0, bits = 0;
    ASSERT_EQ(getc_nextbits_wsq(&bits, &marker, in, br, 4), 0);
    StderrCapture err;
    EXPECT_EQ(getc_nextbits_wsq(&bits, &marker, in, br, 8), -41);
    EXPECT_EQ(marker, 0);
  }
}

TEST(BitIo, RandomFieldsRoundTripAndEndInMarker) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 50; ++trial) {
    std::vector<std::pair<uint32_t, int>> fields;
    for (int i = 0; i < 200; ++i) {
      const int n = 1 + int(rng() % 16);
      // Many all-ones fields so that stuffing happens often.
      const uint32_t v = (rng() % 3 == 0) ? (1u << n) - 1 : rng() & ((1u << n) - 1);
      fields.emplace_back(v, n);
    }
    Bytes data = Pack(fields);
    const size_t coded = data.size();
    data.push_back(0xFF);
    data.push_back(0xA3);
    InCursor in{data.data(), data.data() + data.size()};
    BitReader br;
    uint16_t marker = 0;
    for (auto [v, n] : fields) {
      uint16_t bits;
      ASSERT_EQ(getc_nextbits_wsq(&bits, &marker, in, br, n), 0);
      ASSERT_EQ(bits, v) << "trial " << trial;
    }
    ASSERT_EQ(marker, 0);
    // Padding bits are ones; then the marker shows in a one-bit read.
    uint16_t bits;
    int pad = 0;
    while (marker == 0) {
      ASSERT_EQ(getc_nextbits_wsq(&bits, &marker, in, br, 1), 0);
      ASSERT_EQ(bits, 1);
      ASSERT_LT(++pad, 10);
    }
    EXPECT_EQ(marker, 0xFFA3);
    EXPECT_EQ(in.cur, data.data() + coded + 2);
  }
}

TEST(ByteIo, BoundsAndMessages) {
  const Bytes data{1, 2, 3, 4, 5, 6};
  InCursor in{data.data(), data.data() + data.size()};
  uint32_t u32;
  uint16_t u16;
  uint8_t two[2];
  ASSERT_EQ(getc_uint(&u32, in), 0);
  EXPECT_EQ(u32, 0x01020304u);
  ASSERT_EQ(getc_bytes(two, 2, in), 0);
  EXPECT_EQ(in.cur, in.end);
  {
    StderrCapture err;
    uint8_t b;
    EXPECT_EQ(getc_byte(&b, in), -39);
    EXPECT_EQ(err.Take(), "ERROR : getc_byte : premature End Of Buffer\n");
  }
  {
    InCursor one{data.data(), data.data() + 1};
    StderrCapture err;
    EXPECT_EQ(getc_ushort(&u16, one), -40);
    EXPECT_EQ(one.cur, data.data());
    EXPECT_EQ(err.Take(), "ERROR : getc_bytes : premature End Of Buffer\n");
  }

  uint8_t buf[6] = {};
  OutBuffer out{buf, 6, 0};
  ASSERT_EQ(putc_ushort(0xA1B2, out), 0);
  ASSERT_EQ(putc_uint(0x01020304, out), 0);  // ends exactly at capacity
  EXPECT_EQ(Bytes(buf, buf + 6), (Bytes{0xA1, 0xB2, 1, 2, 3, 4}));
  {
    StderrCapture err;
    EXPECT_EQ(putc_byte(9, out), -32);
    EXPECT_EQ(err.Take(), "ERROR : putc_byte : buffer overlow : alloc = 6, request = 6\n");
  }
  OutBuffer small{buf, 5, 2};
  {
    StderrCapture err;
    const uint8_t src[4] = {};
    EXPECT_EQ(putc_bytes(src, 4, small), -33);
    EXPECT_EQ(small.fill, 2u);
    EXPECT_EQ(err.Take(), "ERROR : putc_bytes : buffer overlow : alloc = 5, request = 6\n");
  }
}

TEST(ScaledNumber, ExamplesLimitsAndRoundTrip) {
  uint8_t s;
  uint32_t m;
  ASSERT_TRUE(ScaleForField(7.5f, kLimit16, &s, &m));
  EXPECT_EQ(s, 3);
  EXPECT_EQ(m, 7500u);
  ASSERT_TRUE(ScaleForField(0.44f, kLimit16, &s, &m));
  EXPECT_EQ(s, 5);
  EXPECT_EQ(m, 44000u);
  ASSERT_TRUE(ScaleForField(0.0f, kLimit16, &s, &m));
  EXPECT_EQ(s, 0);
  EXPECT_EQ(m, 0u);
  ASSERT_TRUE(ScaleForField(65534.0f, kLimit16, &s, &m));
  EXPECT_EQ(s, 0);
  EXPECT_EQ(m, 65534u);
  EXPECT_FALSE(ScaleForField(65535.0f, kLimit16, &s, &m));
  EXPECT_FALSE(ScaleForField(std::numeric_limits<float>::quiet_NaN(), kLimit16, &s, &m));
  EXPECT_FALSE(ScaleForField(std::numeric_limits<float>::infinity(), kLimit32, &s, &m));
  EXPECT_FALSE(ScaleForField(-1.0f, kLimit16, &s, &m));
  EXPECT_FALSE(ScaleForField(4294967295.0f, kLimit32, &s, &m));
  // Near the 32-bit limit M must stay representable.
  ASSERT_TRUE(ScaleForField(429496720.0f, kLimit32, &s, &m));
  EXPECT_LE(double(m), 4294967295.0);

  std::mt19937 rng(3);
  std::uniform_real_distribution<double> expo(-6.0, std::log10(6.0e4));
  for (int i = 0; i < 2000; ++i) {
    const float v = float(std::pow(10.0, expo(rng)));
    for (uint32_t limit : {kLimit16, kLimit32}) {
      ASSERT_TRUE(ScaleForField(v, limit, &s, &m)) << v;
      EXPECT_NEAR(UnscaleField(s, m) / v, 1.0, limit == kLimit16 ? 1e-4 : 1e-6) << v;
    }
  }
}
