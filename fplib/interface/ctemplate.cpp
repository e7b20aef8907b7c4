#include "ctemplate.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "alg_codes.h"
#include "crc8.h"
#include "step_log.h"

namespace fplib {

namespace {

constexpr size_t kCountByte = 19;
constexpr size_t kFirstSlotByte = 31;
constexpr size_t kCopiedRecordBytes = 477;  // record 2..478 -> template 31..507

void WritePoint(uint8_t *at, int x, int y) {
  if (x > 0xFFFE) return;
  at[0] = uint8_t(x & 0xFF);
  at[1] = uint8_t(y & 0xFF);
  at[2] = uint8_t((y >> 8) & 1);
}

}  // namespace

int templateQuality(int rawQuality) {
  return std::min(100, int(std::lround(3.0 * rawQuality / 7.0)));
}

uint8_t setTemplateCrc(const uint8_t *tmpl) { return minutiae::crc8(tmpl, kTemplateSize - 1); }

int writeCTemplate(const RefPoints &refs, const uint8_t *record, int scannerCode, int fingerCode, uint8_t *tmpl,
                   int kindSelector) {
  if (!tmpl) return -1;
  std::memset(tmpl, 0, kTemplateSize);
  tmpl[0] = kTemplateMagic;
  tmpl[1] = 1;
  tmpl[3] = 18;
  tmpl[5] = uint8_t(fingerCode);
  if (record) {
    tmpl[2] = uint8_t(scannerCode);
    tmpl[4] = 1;
    tmpl[6] = uint8_t(templateQuality(record[kRecordQuality]));
    tmpl[kCountByte] = record[kRecordCount];
    tmpl[20] = 1;
    tmpl[21] = 0x9A;
    std::memset(tmpl + 22, 0xFF, 9);
    WritePoint(tmpl + 22, refs.x1, refs.y1);
    WritePoint(tmpl + 25, refs.x2, refs.y2);
    std::memcpy(tmpl + kFirstSlotByte, record + kRecordSlots, kCopiedRecordBytes);
  } else {
    const bool kind2 = kindSelector <= 1;
    tmpl[2] = kind2 ? uint8_t(scannerCode) : 255;
    tmpl[4] = kind2 ? 2 : 3;
    std::memset(tmpl + 6, 0xFF, kTemplateSize - 7);
    tmpl[6] = tmpl[19] = tmpl[20] = tmpl[21] = 0;
  }
  tmpl[kTemplateSize - 1] = setTemplateCrc(tmpl);
  return 1;
}

int unpackCTemplate(const uint8_t *tmpl, uint8_t *record, int *count) {
  if (!tmpl || !record || !count || tmpl[0] != kTemplateMagic || tmpl[kCountByte] == 0) return -1;
  std::memcpy(record + kRecordSlots, tmpl + kFirstSlotByte, kCopiedRecordBytes);
  record[0] = kRecordType;
  *count = std::min<int>(tmpl[kCountByte], kMaxMinutiae);
  record[kRecordCount] = uint8_t(*count);
  return 1;
}

int degreesFromAngle256(int angle) { return angle == 0 ? 0 : 360 - ((angle * 360 + 128) >> 8); }

int packSelection(uint8_t *record, const minutiae::MinutiaeRecord &sel, int quality) {
  if (sel.kind != kRecordType || sel.count < 7 || sel.count > kMaxMinutiae) return minutiae::ALG_BAD_SIZE;
  std::memset(record, 0, kRecordSize);
  record[0] = kRecordType;
  record[kRecordCount] = uint8_t(sel.count);
  for (int i = 0; i < sel.count; ++i) {
    const minutiae::Minutia &m = sel.minutiae[i];
    if (m.x > 255 || m.y > 359) return minutiae::ALG_BAD_SIZE;
    const int d = degreesFromAngle256(m.angle);
    uint8_t *slot = record + kRecordSlots + 4 * size_t(i);
    slot[0] = uint8_t(m.x);
    slot[1] = uint8_t(m.y & 0xFF);
    slot[2] = uint8_t(d & 0xFF);
    slot[3] = uint8_t(0xFC | ((d >> 8) & 1) << 1 | ((m.y >> 8) & 1));
  }
  record[kRecordQuality] = uint8_t(quality);
  FP_LOG("sub_1002E1B0", "quality  at %d = %d \n", 4 * (100 - sel.count), quality);
  return 0;
}

}  // namespace fplib
