// SettingsRecord and ProductInfo codecs, defaults and repair; FlashCrc32.
#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "flash_crc32.h"
#include "flash_range.h"
#include "product_info.h"
#include "settings_record.h"

using namespace belnor;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> v) {
  return std::vector<uint8_t>(v.begin(), v.end());
}

SettingsRecord Decoded(const std::vector<uint8_t> &b) {
  SettingsRecord r;
  EXPECT_TRUE(DecodeSettingsRecord(b.data(), b.size(), &r));
  return r;
}

std::vector<uint8_t> Encoded(const SettingsRecord &r) {
  std::vector<uint8_t> b(16);
  EncodeSettingsRecord(r, b.data());
  return b;
}

const std::vector<uint8_t> kBlank(16, 0xFF);

TEST(SettingsRecord, WireLayoutIsLittleEndianWithAttributesAtFour) {
  SettingsRecord r = FreshSettingsRecord();
  r.attr = ImgAttr{1, 0, 1, 0x49, 0x3C, 4000, 4, -5, 75};
  r.reserved = 0xCDAB;
  EXPECT_EQ(Encoded(r), Bytes({0x46, 0x53, 3, 0, 1, 0, 1, 0x49, 0x3C, 0xA0, 0x0F, 4, 0xFB, 0x4B,
                               0xAB, 0xCD}));
  // The in-memory record has the wire layout too (g_Settings is read as bytes).
  EXPECT_EQ(std::memcmp(&r, Encoded(r).data(), 16), 0);
  EXPECT_EQ(offsetof(SettingsRecord, attr), 4u);
  EXPECT_EQ(offsetof(ImgAttr, WB), 5u);
  EXPECT_EQ(offsetof(ImgAttr, Exposure), 8u);
}

TEST(SettingsRecord, DecodeRefusesShortOrMissingInput) {
  SettingsRecord r = FreshSettingsRecord();
  const std::vector<uint8_t> b(16, 0);
  for (size_t n = 0; n < 16; ++n) EXPECT_FALSE(DecodeSettingsRecord(b.data(), n, &r)) << n;
  EXPECT_FALSE(DecodeSettingsRecord(nullptr, 16, &r));
  EXPECT_FALSE(DecodeSettingsRecord(b.data(), 16, nullptr));
  EXPECT_EQ(r.magic, kSettingsMagic);  // untouched by the refusals
}

TEST(SettingsRecord, Validity) {
  SettingsRecord r = FreshSettingsRecord();
  r.attr.Gain = 1;
  r.attr.Exposure = -10;
  EXPECT_TRUE(IsSettingsRecordValid(r));
  r.attr.Gain = 16;
  r.attr.Exposure = -5;
  EXPECT_TRUE(IsSettingsRecordValid(r));
  r.attr.Gain = 0;
  EXPECT_FALSE(IsSettingsRecordValid(r));
  r.attr.Gain = 17;
  EXPECT_FALSE(IsSettingsRecordValid(r));
  r.attr.Gain = 8;
  r.attr.Exposure = -4;  // outside the range the camera setter accepts
  EXPECT_FALSE(IsSettingsRecordValid(r));
  r.attr.Exposure = -11;
  EXPECT_FALSE(IsSettingsRecordValid(r));
  r.attr.Exposure = -8;
  r.magic = 0x4653;
  EXPECT_FALSE(IsSettingsRecordValid(r));
}

struct RepairCase {
  int devType;
  bool blank;  // no magic
  uint8_t bright, contrast, gain;
  int8_t exposure;
  uint16_t wb;
  uint8_t gamma;
};

TEST(SettingsRecord, RepairDefaultsPerType) {
  // Invalid stored record: magic, flags 1/0/1, Gain 0 (or 20), gamma 7.
  auto invalid = [](uint8_t gain) {
    return Bytes({0x46, 0x53, 3, 0, 1, 0, 1, 10, 20, 0x10, 0x27, gain, 0xF8, 7, 0x5A, 0xA5});
  };
  const RepairCase cases[] = {
      {1, true, 95, 100, 8, -8, 4650, 0},    {1, false, 95, 100, 8, -8, 4650, 0},
      {2, true, 73, 60, 4, -5, 4000, 75},    {2, false, 185, 55, 4, -5, 4000, 75},
      {5, true, 0, 56, 1, -6, 4600, 100},    {5, false, 0, 56, 1, -6, 4600, 100},
      {3, true, 95, 100, 8, -8, 4650, 0xFF}, {4, false, 95, 100, 8, -8, 4650, 7},
  };
  for (const RepairCase &c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.devType << (c.blank ? " blank" : " invalid"));
    SettingsRecord r = Decoded(c.blank ? kBlank : invalid(0));
    RepairSettingsRecord(c.devType, &r);
    EXPECT_EQ(r.magic, kSettingsMagic);
    EXPECT_EQ(r.attr.Bright, c.bright);
    EXPECT_EQ(r.attr.Contrast, c.contrast);
    EXPECT_EQ(r.attr.Gain, c.gain);
    EXPECT_EQ(r.attr.Exposure, c.exposure);
    EXPECT_EQ(r.attr.Gamma, c.gamma);
    EXPECT_EQ(int(r.attr.WB), c.wb);
    if (c.blank) {
      EXPECT_EQ(r.version, 3);
      EXPECT_EQ(r.attr.bAutoAdjust, 0);
      EXPECT_EQ(r.attr.bClearBk, 0);
      EXPECT_EQ(r.attr.bAutoPos, 0);
      EXPECT_EQ(r.reserved, 0xFFFF);
    } else {
      EXPECT_EQ(r.attr.bAutoAdjust, 1);
      EXPECT_EQ(r.attr.bClearBk, 0);
      EXPECT_EQ(r.attr.bAutoPos, 1);
      EXPECT_EQ(r.reserved, 0xA55A);  // reserved bytes survive
    }
    EXPECT_TRUE(IsSettingsRecordValid(r));
  }
}

TEST(SettingsRecord, Type5RepairsAnInvalidGainButKeepsAValidOne) {
  auto rec = [](uint8_t gain, uint8_t exposure) {
    return Bytes({0x46, 0x53, 3, 0, 0, 0, 0, 10, 20, 0x10, 0x0E, gain, exposure, 7, 0, 0});
  };
  SettingsRecord r = Decoded(rec(20, 0xF8));
  RepairSettingsRecord(5, &r);
  EXPECT_EQ(r.attr.Gain, 1);
  r = Decoded(rec(9, 0xFD));  // exposure -3: invalid; gain 9 stays
  RepairSettingsRecord(5, &r);
  EXPECT_EQ(r.attr.Gain, 9);
  EXPECT_EQ(r.attr.Exposure, -6);
}

TEST(SettingsRecord, AValidRecordIsNotTouched) {
  const auto b = Bytes({0x46, 0x53, 9, 0, 1, 1, 1, 10, 20, 0, 0, 3, 0xF7, 7, 1, 2});
  for (int type = 1; type <= 5; ++type) {
    SettingsRecord r = Decoded(b);
    RepairSettingsRecord(type, &r);
    EXPECT_EQ(Encoded(r), b) << type;  // version and WB are not checked
  }
}

TEST(SettingsRecord, FuzzedBytesDecodeAndRepairIntoAcceptedRecords) {
  std::mt19937 rng(20240509);
  for (int i = 0; i < 20000; ++i) {
    std::vector<uint8_t> b(rng() % 24);
    for (auto &x : b) x = uint8_t(rng());
    // Bias towards the interesting magic.
    if (b.size() >= 2 && (rng() & 1)) b[0] = 0x46, b[1] = 0x53;
    SettingsRecord r;
    if (!DecodeSettingsRecord(b.data(), b.size(), &r)) {
      ASSERT_LT(b.size(), 16u);
      continue;
    }
    ASSERT_EQ(Encoded(r), std::vector<uint8_t>(b.begin(), b.begin() + 16));
    const bool wasValid = IsSettingsRecordValid(r);
    const int type = 1 + int(rng() % 5);
    RepairSettingsRecord(type, &r);
    ASSERT_TRUE(IsSettingsRecordValid(r));
    ASSERT_TRUE(GainInRange(r.attr.Gain));
    ASSERT_TRUE(ExposureInRange(r.attr.Exposure));
    if (!wasValid) {
      ASSERT_TRUE(WhiteBalanceInRange(r.attr.WB)) << type;
    }
  }
}

TEST(ProductInfo, WireLayout) {
  const char serial[] = "ABCDEFGHJKLMNPQR";
  std::vector<uint8_t> b(serial, serial + 16);
  for (int x : {0xE8, 0x07, 5, 9, 0x34, 0x12, 0xEE, 0xFF}) b.push_back(uint8_t(x));
  ProductInfo info;
  ASSERT_TRUE(DecodeProductInfo(b.data(), b.size(), &info));
  EXPECT_EQ(std::memcmp(info.Serial, serial, 16), 0);
  EXPECT_EQ(info.Year, 2024);
  EXPECT_EQ(info.Month, 5);
  EXPECT_EQ(info.Day, 9);
  EXPECT_EQ(info.Operater, 0x1234);
  EXPECT_TRUE(HasValidSerial(info));
  std::vector<uint8_t> back(24);
  EncodeProductInfo(info, back.data());
  EXPECT_EQ(back, b);
  EXPECT_EQ(std::memcmp(&info, b.data(), 24), 0);  // public struct = wire layout
}

TEST(ProductInfo, DecodeRefusesShortInputAndSerialMustBeAlphanumeric) {
  ProductInfo info{};
  const std::vector<uint8_t> b(24, 'A');
  for (size_t n = 0; n < 24; ++n) EXPECT_FALSE(DecodeProductInfo(b.data(), n, &info));
  EXPECT_FALSE(DecodeProductInfo(nullptr, 24, &info));
  EXPECT_FALSE(DecodeProductInfo(b.data(), 24, nullptr));

  EXPECT_EQ(IsAlnumText("AB", 2), 1);
  EXPECT_EQ(IsAlnumText("A", 1), 0);  // fewer than two characters
  EXPECT_EQ(IsAlnumText("AB C", 4), 0);
  EXPECT_EQ(IsAlnumText("AB C", 2), 1);
  EXPECT_EQ(IsAlnumText(nullptr, 4), 0);
  EXPECT_EQ(IsAlnumText("az09AZ", 6), 1);
  const char high[] = {'A', char(0xC3), char(0xA9), 'B'};  // UTF-8 letter is not ASCII
  EXPECT_EQ(IsAlnumText(high, 4), 0);
  ProductInfo blank;
  std::memset(&blank, 0xFF, sizeof blank);
  EXPECT_FALSE(HasValidSerial(blank));
}

TEST(ProductInfo, FuzzedRecordsDecodeWithoutReadingPastTheInput) {
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    const size_t n = rng() % 32;
    // An exact-size heap buffer makes any over-read visible to the sanitizer.
    std::unique_ptr<uint8_t[]> b(new uint8_t[n ? n : 1]);
    for (size_t k = 0; k < n; ++k) b[k] = uint8_t(rng() % 4 == 0 ? 'A' + rng() % 26 : rng());
    ProductInfo info;
    const bool ok = DecodeProductInfo(b.get(), n, &info);
    ASSERT_EQ(ok, n >= 24);
    if (ok) {
      bool alnum = true;
      for (int k = 0; k < 16; ++k) alnum = alnum && std::isalnum(b[k]) && b[k] < 0x80;
      ASSERT_EQ(HasValidSerial(info), alnum);
    }
  }
}

TEST(FlashCrc32, KnownValues) {
  const uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(FlashCrc32(abc, 3), 0xCADBBE3Du);
  EXPECT_EQ(FlashCrc32(nullptr, 0), 0xFFFFFFFFu);
  const char digits[] = "123456789";
  // The usual CRC-32 check value is 0xCBF43926; without the final inversion:
  EXPECT_EQ(FlashCrc32(reinterpret_cast<const uint8_t *>(digits), 9), ~0xCBF43926u);
}

TEST(FlashCrc32, DetectsEverySingleBitFlip) {
  std::vector<uint8_t> page(4096);
  std::mt19937 rng(3);
  for (auto &b : page) b = uint8_t(rng());
  const uint32_t good = FlashCrc32(page.data(), page.size());
  for (size_t i = 0; i < page.size(); i += 97) {
    for (int bit = 0; bit < 8; ++bit) {
      page[i] ^= uint8_t(1 << bit);
      ASSERT_NE(FlashCrc32(page.data(), page.size()), good);
      page[i] ^= uint8_t(1 << bit);
    }
  }
}

TEST(FlashRange, NeverWraps) {
  EXPECT_TRUE(RangeEndsWithin(0, 16, 16));
  EXPECT_FALSE(RangeEndsWithin(1, 16, 16));
  EXPECT_TRUE(RangeEndsWithin(16, 0, 16));
  EXPECT_FALSE(RangeEndsWithin(17, 0, 16));
  EXPECT_FALSE(RangeEndsWithin(0xFFFFFFF0u, 0x20, 0x336000));  // address + length wraps to 0x10
  EXPECT_FALSE(RangeEndsWithin(0x10, 0xFFFFFFF8u, 0x336000));
  EXPECT_FALSE(RangeEndsWithin(0, 0xFFFFFFFFu, 0xFFFFFFFEu));
  EXPECT_TRUE(RangeInside(0x20000, 0x1000, 0x20000, 0x21000));
  EXPECT_FALSE(RangeInside(0x1FFFF, 1, 0x20000, 0x21000));
  EXPECT_FALSE(RangeInside(0x20FFF, 2, 0x20000, 0x21000));
}

}  // namespace
