// CTemplate bytes, its checksum and reader, and the packing of the
// extractor's minutiae into the record and back into matcher A's form.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "alg_codes.h"
#include "cminutiae_record.h"
#include "crc8.h"
#include "ctemplate.h"
#include "matcher_a.h"

using namespace fplib;

namespace {

std::vector<uint8_t> RecordWith(int count, int quality) {
  std::vector<uint8_t> r(kRecordSize, 0);
  r[0] = kRecordType;
  r[kRecordCount] = uint8_t(count);
  for (int i = 0; i < count; ++i) {
    uint8_t *m = &r[kRecordSlots + 4 * size_t(i)];
    m[0] = uint8_t(10 + i);
    m[1] = uint8_t(20 + i);
    m[2] = uint8_t(3 * i);
    m[3] = 0xFC;
  }
  r[kRecordQuality] = uint8_t(quality);
  return r;
}

minutiae::MinutiaeRecord Selection(int count) {
  minutiae::MinutiaeRecord s{};
  s.kind = kRecordType;
  s.count = uint16_t(count);
  for (int i = 0; i < count; ++i) s.minutiae[i] = {uint16_t(2 * i), uint16_t(3 * i), 1, uint8_t(i)};
  return s;
}

TEST(CTemplateWriter, NoFeatureKindsTwoAndThree) {
  uint8_t t[kTemplateSize];
  for (int selector : {0, 1, 3}) {
    ASSERT_EQ(writeCTemplate(RefPoints{}, nullptr, 0x1234, 0x0507, t, selector), 1);
    const bool kind2 = selector <= 1;
    EXPECT_EQ(t[0], 'C');
    EXPECT_EQ(t[1], 1);
    EXPECT_EQ(t[2], kind2 ? 0x34 : 255);
    EXPECT_EQ(t[3], 18);
    EXPECT_EQ(t[4], kind2 ? 2 : 3);
    EXPECT_EQ(t[5], 7);
    EXPECT_EQ(t[6], 0);
    for (int i = 7; i <= 18; ++i) EXPECT_EQ(t[i], 0xFF) << i;
    EXPECT_EQ(t[19], 0);
    EXPECT_EQ(t[20], 0);
    EXPECT_EQ(t[21], 0);
    for (int i = 22; i <= 510; ++i) ASSERT_EQ(t[i], 0xFF) << i;
    EXPECT_EQ(t[511], minutiae::crc8(t, 511));
  }
  EXPECT_EQ(writeCTemplate(RefPoints{}, nullptr, 1, 1, nullptr, 0), -1);
}

TEST(CTemplateWriter, FeatureKindLayoutAndReferencePoint) {
  const std::vector<uint8_t> rec = RecordWith(9, 117);
  uint8_t t[kTemplateSize];
  ASSERT_EQ(writeCTemplate(RefPoints{}, rec.data(), 0x101, 0x202, t, 0), 1);
  EXPECT_EQ(t[0], 'C');
  EXPECT_EQ(t[2], 1);
  EXPECT_EQ(t[4], 1);
  EXPECT_EQ(t[5], 2);
  EXPECT_EQ(t[6], 50);  // round(3 * 117 / 7)
  for (int i = 7; i <= 18; ++i) EXPECT_EQ(t[i], 0) << i;
  EXPECT_EQ(t[19], 9);
  EXPECT_EQ(t[20], 1);
  EXPECT_EQ(t[21], 0x9A);
  for (int i = 22; i <= 30; ++i) EXPECT_EQ(t[i], 0xFF) << i;
  EXPECT_EQ(0, std::memcmp(t + 31, rec.data() + 2, 400));
  EXPECT_EQ(t[431], 117);
  for (int i = 432; i <= 510; ++i) EXPECT_EQ(t[i], 0) << i;
  EXPECT_EQ(t[511], minutiae::crc8(t, 511));

  RefPoints refs;
  refs.x1 = 300;
  refs.y1 = 359;
  writeCTemplate(refs, rec.data(), 0, 0, t, 0);
  EXPECT_EQ(t[22], 0x2C);
  EXPECT_EQ(t[23], 0x67);
  EXPECT_EQ(t[24], 0x01);
  EXPECT_EQ(t[25], 0xFF);  // the second point stays unset
}

TEST(CTemplateWriter, QualityRoundsHalfAwayFromZeroAndCaps) {
  EXPECT_EQ(templateQuality(255), 100);
  EXPECT_EQ(templateQuality(7), 3);
  EXPECT_EQ(templateQuality(2), 1);  // 0.857
  EXPECT_EQ(templateQuality(25), 11);
  EXPECT_EQ(templateQuality(0), 0);
}

TEST(CTemplateWriter, EveryByteIsCoveredByTheChecksum) {
  const std::vector<uint8_t> rec = RecordWith(20, 80);
  uint8_t t[kTemplateSize];
  writeCTemplate(RefPoints{}, rec.data(), 3, 4, t, 0);
  for (int i = 0; i < 511; ++i) {
    t[i] ^= 0x5A;
    EXPECT_NE(t[511], setTemplateCrc(t)) << i;
    t[i] ^= 0x5A;
  }
  EXPECT_EQ(t[511], setTemplateCrc(t));
}

TEST(CTemplateReader, CountCapRefusalsAndNoChecksumTest) {
  const std::vector<uint8_t> rec = RecordWith(30, 99);
  uint8_t t[kTemplateSize], out[kRecordSize];
  writeCTemplate(RefPoints{}, rec.data(), 3, 4, t, 0);
  t[511] ^= 0xFF;  // a damaged checksum is not detected on reading
  int count = -1;
  ASSERT_EQ(unpackCTemplate(t, out, &count), 1);
  EXPECT_EQ(count, 30);
  EXPECT_EQ(0, std::memcmp(out, rec.data(), 479));

  t[19] = 150;
  ASSERT_EQ(unpackCTemplate(t, out, &count), 1);
  EXPECT_EQ(count, 100);
  EXPECT_EQ(out[1], 100);
  t[19] = 0;
  EXPECT_EQ(unpackCTemplate(t, out, &count), -1);
  t[19] = 30;
  t[0] = 'D';
  EXPECT_EQ(unpackCTemplate(t, out, &count), -1);
  EXPECT_EQ(unpackCTemplate(nullptr, out, &count), -1);
}

TEST(Packing, DirectionsTurnTheOtherWayAndSurviveTheMatcherRoundTrip) {
  EXPECT_EQ(degreesFromAngle256(0), 0);
  EXPECT_EQ(degreesFromAngle256(64), 270);
  EXPECT_EQ(degreesFromAngle256(128), 180);
  EXPECT_EQ(degreesFromAngle256(192), 90);
  EXPECT_EQ(degreesFromAngle256(1), 359);
  EXPECT_EQ(degreesFromAngle256(255), 1);
  // All 256 angles, 100 at a time, with y across bit 8.
  for (int base = 0; base < 256; base += 100) {
    minutiae::MinutiaeRecord sel = Selection(100);
    for (int i = 0; i < 100; ++i) {
      sel.minutiae[i].angle = uint8_t((base + i) & 255);
      sel.minutiae[i].y = uint16_t(250 + i);
      sel.minutiae[i].x = uint16_t(155 + i);
    }
    uint8_t record[kRecordSize];
    ASSERT_EQ(packSelection(record, sel, 200), 0);
    EXPECT_EQ(record[0], 3);
    EXPECT_EQ(record[1], 100);
    EXPECT_EQ(record[kRecordQuality], 200);
    minutiae::MinutiaeRecord back;
    ASSERT_EQ(decodeCMinutiae(record, back), 0);
    for (int i = 0; i < 100; ++i) {
      const CMinutia m = ReadCMinutia(record, i);
      EXPECT_EQ(m.x, 155 + i);
      EXPECT_EQ(m.y, 250 + i);
      EXPECT_EQ(record[kRecordSlots + 4 * i + 3] & 0xFC, 0xFC);
      EXPECT_EQ(back.minutiae[i].angle, (base + i) & 255) << "angle " << base + i;
      EXPECT_EQ(back.minutiae[i].y, 250 + i);
    }
  }
}

TEST(Packing, RefusesCountsKindsAndPointsOutsideTheImage) {
  uint8_t record[kRecordSize];
  EXPECT_EQ(packSelection(record, Selection(7), 5), 0);
  EXPECT_EQ(packSelection(record, Selection(6), 5), minutiae::ALG_BAD_SIZE);
  EXPECT_EQ(packSelection(record, Selection(101), 5), minutiae::ALG_BAD_SIZE);
  minutiae::MinutiaeRecord sel = Selection(10);
  sel.kind = 0;
  EXPECT_EQ(packSelection(record, sel, 5), minutiae::ALG_BAD_SIZE);
  sel = Selection(10);
  sel.minutiae[3].x = 256;
  EXPECT_EQ(packSelection(record, sel, 5), minutiae::ALG_BAD_SIZE);
  sel = Selection(10);
  sel.minutiae[3].y = 360;
  EXPECT_EQ(packSelection(record, sel, 5), minutiae::ALG_BAD_SIZE);
  sel.minutiae[3].y = 359;
  EXPECT_EQ(packSelection(record, sel, 5), 0);
}

TEST(MatcherARecords, DecodingRefusesWhatTheMatcherCannotUse) {
  std::vector<uint8_t> rec = RecordWith(10, 50);
  minutiae::MinutiaeRecord out;
  ASSERT_EQ(decodeCMinutiae(rec.data(), out), 0);
  EXPECT_EQ(out.count, 10);
  EXPECT_EQ(out.minutiae[0].type, 1);
  EXPECT_EQ(out.minutiae[0].angle, 0);      // 0 degrees
  EXPECT_EQ(out.minutiae[1].angle, 254);    // 3 degrees
  rec[kRecordCount] = 6;
  EXPECT_EQ(decodeCMinutiae(rec.data(), out), minutiae::ALG_BAD_SIZE);
  rec[kRecordCount] = 101;
  EXPECT_EQ(decodeCMinutiae(rec.data(), out), minutiae::ALG_BAD_SIZE);
  rec = RecordWith(10, 50);
  rec[kRecordSlots + 4 * 5 + 3] |= 1;  // y = 256 + 25
  EXPECT_EQ(decodeCMinutiae(rec.data(), out), 0);
  rec[kRecordSlots + 4 * 5 + 1] = 104;  // y = 360
  EXPECT_EQ(decodeCMinutiae(rec.data(), out), minutiae::ALG_BAD_SIZE);
  rec = RecordWith(10, 50);
  rec[kRecordSlots + 4 * 2 + 2] = 104;
  rec[kRecordSlots + 4 * 2 + 3] |= 2;  // 360 degrees
  EXPECT_EQ(decodeCMinutiae(rec.data(), out), minutiae::ALG_BAD_SIZE);
  rec[0] = 2;
  EXPECT_EQ(decodeCMinutiae(rec.data(), out), minutiae::ALG_BAD_SIZE);
}

}  // namespace
