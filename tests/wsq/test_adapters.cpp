// The adapters' result codes, the attributes an encoded stream carries, and
// deterministic corruption of a small stream.
#include <gtest/gtest.h>

#include <cstdlib>

#include "fp_wsq.h"
#include "nistcom.h"
#include "synthetic_print.h"
#include "wsq_codec.h"
#include "wsq_test_util.h"

using wsqtest::Builder;
using wsqtest::Bytes;
using wsqtest::StderrCapture;

namespace {

Bytes Encoded(int w, int h, float rate = 0.75f, uint32_t seed = 1) {
  const Bytes px = wsqtest::SyntheticPrint(w, h, seed);
  Bytes out(size_t(w) * size_t(h) + 4096);
  int cap = int(out.size());
  EXPECT_EQ(fp_wsq_encode(px.data(), int(px.size()), w, h, out.data(), &cap, rate), 1);
  out.resize(size_t(cap));
  return out;
}

}  // namespace

TEST(Adapters, EncodeCodes) {
  const Bytes px = wsqtest::SyntheticPrint(256, 360);
  const Bytes stream = Encoded(256, 360);
  Bytes out(stream.size() + 10, 0xEE);
  int cap = int(stream.size()) - 1;
  EXPECT_EQ(fp_wsq_encode(px.data(), int(px.size()), 256, 360, out.data(), &cap, 0.75f), 5);
  EXPECT_EQ(cap, int(stream.size()) - 1);
  EXPECT_EQ(out, Bytes(stream.size() + 10, 0xEE));
  cap = -1;  // no room at all, not a huge one
  EXPECT_EQ(fp_wsq_encode(px.data(), int(px.size()), 256, 360, out.data(), &cap, 0.75f), 5);
  EXPECT_EQ(cap, -1);
  EXPECT_EQ(out, Bytes(stream.size() + 10, 0xEE));
  cap = int(stream.size());
  EXPECT_EQ(fp_wsq_encode(px.data(), int(px.size()), 256, 360, out.data(), &cap, 0.75f), 1);
  EXPECT_EQ(cap, int(stream.size()));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + cap), stream);

  EXPECT_EQ(fp_wsq_encode(nullptr, 0, 256, 360, out.data(), &cap, 0.75f), 2);
  EXPECT_EQ(fp_wsq_encode(px.data(), int(px.size()) - 1, 256, 360, out.data(), &cap, 0.75f), 2);
  StderrCapture err;
  EXPECT_EQ(fp_wsq_encode(px.data(), int(px.size()), 0, 360, out.data(), &cap, 0.75f), 4);
  // Tiny images encode: their headers outweigh their pixels.
  const uint8_t one = 9;
  cap = int(out.size());
  EXPECT_EQ(fp_wsq_encode(&one, 1, 1, 1, out.data(), &cap, 0.75f), 1);
}

TEST(Adapters, DecodeCodes) {
  const Bytes stream = Encoded(256, 360);
  Bytes out(256 * 360, 0xEE);
  EXPECT_EQ(fp_wsq_decode(stream.data(), int(stream.size()), out.data(), 256 * 360 - 1), 3);
  EXPECT_EQ(out, Bytes(256 * 360, 0xEE));
  EXPECT_EQ(fp_wsq_decode(stream.data(), int(stream.size()), out.data(), 256 * 360), 1);
  EXPECT_GE(wsqtest::Psnr(out, wsqtest::SyntheticPrint(256, 360)), 30.0);
  StderrCapture err;
  const Bytes junk(100, 0x42);
  EXPECT_EQ(fp_wsq_decode(junk.data(), int(junk.size()), out.data(), int(out.size())), 2);
  EXPECT_EQ(fp_wsq_decode(stream.data(), int(stream.size()) / 2, out.data(), int(out.size())), 2);

  int w = 0, h = 0;
  EXPECT_EQ(fp_wsq_decode_dims(stream.data(), int(stream.size()), nullptr, 0, &w, &h), 1);
  EXPECT_EQ(w, 256);
  EXPECT_EQ(h, 360);
  EXPECT_EQ(fp_wsq_decode_dims(stream.data(), int(stream.size()), out.data(), 100, &w, &h), 3);
  EXPECT_EQ(fp_wsq_decode_dims(stream.data(), int(stream.size()), out.data(), int(out.size()), &w, &h), 1);
  EXPECT_EQ(fp_wsq_decode_dims(junk.data(), int(junk.size()), nullptr, 0, &w, &h), 2);

  // A huge frame is refused on its header, before any allocation.
  Builder big;
  big.u16(0xFFA0).segment(0xFFA2, wsqtest::SofBody(65535, 65535)).segment(0xFFA3, {0}).u16(0xFFA1);
  EXPECT_EQ(fp_wsq_decode(big.b.data(), int(big.b.size()), out.data(), 92160), 3);
}

TEST(Adapters, SizeQueryReadsOnlyTheFrameHeader) {
  // 8 KB whose frame header claims 8192 x 8192 and whose block has no
  // Huffman table: the size is known without decoding a pixel.
  Bytes stream = wsqtest::HeaderStream(8192, 8192);
  stream.resize(8192, 0);
  StderrCapture err;
  int w = 0, h = 0;
  EXPECT_EQ(fp_wsq_decode_dims(stream.data(), int(stream.size()), nullptr, 0, &w, &h), 1);
  EXPECT_EQ(w, 8192);
  EXPECT_EQ(h, 8192);
  Bytes out(64);
  EXPECT_EQ(fp_wsq_decode_dims(stream.data(), int(stream.size()), out.data(), int(out.size()), &w, &h), 3);
}

TEST(Adapters, InfoAndAttributes) {
  const Bytes stream = Encoded(256, 360);
  int w = 0, h = 0, ppi = 0;
  ASSERT_EQ(fp_wsq_info(stream.data(), int(stream.size()), &w, &h, &ppi), 0);
  EXPECT_EQ(w, 256);
  EXPECT_EQ(h, 360);
  EXPECT_EQ(ppi, 500);
  wsq::FetPtr fet;
  ASSERT_EQ(wsq::getc_nistcom_wsq(&fet, stream.data(), stream.size()), 0);
  ASSERT_TRUE(fet);
  auto value = [&](const char *name) {
    wsq::FetValue v;
    EXPECT_EQ(wsq::lookupfet(&v, name, *fet), 1) << name;
    return v.value_or("");
  };
  EXPECT_EQ(value("NIST_COM"), "9");
  EXPECT_EQ(value("PIX_WIDTH"), "256");
  EXPECT_EQ(value("PIX_HEIGHT"), "360");
  EXPECT_EQ(value("PIX_DEPTH"), "8");
  EXPECT_EQ(value("PPI"), "500");
  EXPECT_EQ(value("LOSSY"), "1");
  EXPECT_EQ(value("WSQ_BITRATE"), "0.750000");

  // The stream starts SOI, the 120-byte NISTCOM, "Morvek", then the DTT.
  const std::string nist =
      "NIST_COM 9\nPIX_WIDTH 256\nPIX_HEIGHT 360\nPIX_DEPTH 8\nPPI 500\nLOSSY 1\nCOLORSPACE GRAY\n"
      "COMPRESSION WSQ\nWSQ_BITRATE 0.750000";
  const Bytes prefix = Builder()
                           .raw({0xFF, 0xA0, 0xFF, 0xA8, 0x00, 0x7A})
                           .text(nist)
                           .raw({0xFF, 0xA8, 0x00, 0x08})
                           .text("Morvek")
                           .raw({0xFF, 0xA4, 0x00, 0x3A, 0x09, 0x07})
                           .b;
  ASSERT_GT(stream.size(), prefix.size());
  EXPECT_EQ(Bytes(stream.begin(), stream.begin() + long(prefix.size())), prefix);

  // Without a NISTCOM comment the ppi is unknown; cut before SOF fails.
  std::vector<uint8_t> plain;
  const Bytes px = wsqtest::SyntheticPrint(40, 40);
  ASSERT_EQ(wsq::wsq_encode_1(&plain, px.data(), 40, 40, 8, 1.0f, 500, nullptr), 0);
  const size_t comLen = size_t((plain[4] << 8) | plain[5]) + 2;
  plain.erase(plain.begin() + 2, plain.begin() + 2 + long(comLen));
  ASSERT_EQ(fp_wsq_info(plain.data(), int(plain.size()), &w, &h, &ppi), 0);
  EXPECT_EQ(ppi, -1);
  EXPECT_EQ(w, 40);
  StderrCapture err;
  EXPECT_EQ(fp_wsq_info(stream.data(), 200, &w, &h, &ppi), -1);
}

TEST(Corruption, EveryPrefixAndEveryByteChange) {
  const Bytes s = Encoded(64, 64, 1.0f, 3);
  ASSERT_LT(s.size(), 3000u);
  StderrCapture err;
  struct Decoded {
    int ret, w, h;
    Bytes px;
    bool operator==(const Decoded &o) const { return ret == o.ret && w == o.w && h == o.h && px == o.px; }
  };
  auto decode = [&](const Bytes &b) {
    Decoded d{0, 0, 0, {}};
    int depth, ppi, lossy;
    d.ret = wsq::wsq_decode_mem(&d.px, &d.w, &d.h, &depth, &ppi, &lossy, b.data(), b.size());
    if (d.ret == 0) {
      // The header query and the adapter agree with a successful decode.
      int w = 0, h = 0;
      EXPECT_EQ(fp_wsq_decode_dims(b.data(), int(b.size()), nullptr, 0, &w, &h), 1);
      EXPECT_EQ(w, d.w);
      EXPECT_EQ(h, d.h);
      EXPECT_EQ(d.px.size(), size_t(d.w) * size_t(d.h));
      if (d.px.size() <= 64 * 64) {
        Bytes out(d.px.size());
        EXPECT_EQ(fp_wsq_decode(b.data(), int(b.size()), out.data(), int(out.size())), 1);
        EXPECT_EQ(out, d.px);
      }
    } else {
      EXPECT_LT(d.ret, 0);
      EXPECT_TRUE(d.px.empty());
    }
    return d;
  };
  const Decoded whole = decode(s);
  ASSERT_EQ(whole.ret, 0);

  // A stream cut anywhere, even inside its EOI, is refused.
  for (size_t n = 0; n < s.size(); ++n) EXPECT_NE(decode(Bytes(s.begin(), s.begin() + long(n))).ret, 0) << n;

  // The layout our encoder writes: SOI, the NISTCOM comment, "Morvek", the
  // tables, then the frame header with height and width at bytes 6-9 of SOF.
  const size_t nistText = 6, nistEnd = nistText + 118;
  ASSERT_EQ(std::string(s.begin() + nistText, s.begin() + nistText + 8), "NIST_COM");
  const size_t morvekText = nistEnd + 4;
  ASSERT_EQ(std::string(s.begin() + long(morvekText), s.begin() + long(morvekText) + 6), "Morvek");
  size_t sof = 0;
  while (sof + 1 < s.size() && !(s[sof] == 0xFF && s[sof + 1] == 0xA2)) ++sof;
  ASSERT_LT(sof, s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    for (uint8_t change : {uint8_t(s[i] ^ 0xFF), uint8_t(0xFF)}) {
      if (change == s[i]) continue;
      Bytes bad = s;
      bad[i] = change;
      const Decoded d = decode(bad);
      if (i < nistText) {
        EXPECT_NE(d.ret, 0) << i;  // SOI and the first comment's marker and length
      } else if (i < nistEnd || (i >= morvekText && i < morvekText + 6)) {
        EXPECT_TRUE(d == whole) << i;  // comment text never touches the pixels
      } else if (i >= sof + 6 && i < sof + 10 && d.ret == 0) {
        EXPECT_EQ(d.h, (bad[sof + 6] << 8) | bad[sof + 7]) << i;
        EXPECT_EQ(d.w, (bad[sof + 8] << 8) | bad[sof + 9]) << i;
      } else if (i >= sof + 10 && d.ret == 0) {
        EXPECT_EQ(d.w, 64) << i;
        EXPECT_EQ(d.h, 64) << i;
      }
      // Deterministic: the same bytes decode the same way.
      if (i % 64 == 0) {
        EXPECT_TRUE(decode(bad) == d) << i;
      }
    }
  }
}

// WSQ_WRITE_CORPUS=dir writes encoder outputs as fuzz seeds for the decoder.
TEST(Corpus, SeedsFromTheEncoder) {
  const char *dir = std::getenv("WSQ_WRITE_CORPUS");
  if (!dir) GTEST_SKIP() << "set WSQ_WRITE_CORPUS to write seeds";
  for (auto [w, h] : {std::pair{16, 16}, {64, 48}, {100, 90}})
    for (float r : {0.3f, 0.75f, 2.25f}) {
      const Bytes s = Encoded(w, h, r);
      wsqtest::WriteFile(std::string(dir) + "/decode/enc_" + std::to_string(w) + "x" + std::to_string(h) + "_" +
                             std::to_string(int(r * 100)),
                         s);
    }
  for (int i = 0; i < 6; ++i) {
    Bytes seed{uint8_t(7 + 29 * i), uint8_t(3 + 17 * i), uint8_t(40 * i)};
    const Bytes px = wsqtest::SyntheticPrint(24, 24, uint32_t(i));
    seed.insert(seed.end(), px.begin(), px.end());
    wsqtest::WriteFile(std::string(dir) + "/roundtrip/seed_" + std::to_string(i), seed);
  }
}
