#include "settings_record.h"

#include <cstring>

namespace belnor {

namespace {

struct BrightContrast {
  uint8_t bright, contrast;
};

BrightContrast BlankDefaults(int devType) {
  switch (devType) {
    case 2: return {73, 60};
    case 5: return {0, 56};
    default: return {95, 100};
  }
}

BrightContrast InvalidDefaults(int devType) {
  switch (devType) {
    case 2: return {185, 55};
    case 5: return {0, 56};
    default: return {95, 100};
  }
}

}  // namespace

SettingsRecord FreshSettingsRecord() {
  SettingsRecord r;
  std::memset(&r, 0, sizeof r);
  r.magic = kSettingsMagic;
  r.version = kSettingsVersion;
  return r;
}

void EncodeSettingsRecord(const SettingsRecord &r, uint8_t out[kSettingsRecordSize]) {
  out[0] = uint8_t(r.magic);
  out[1] = uint8_t(r.magic >> 8);
  out[2] = uint8_t(r.version);
  out[3] = uint8_t(r.version >> 8);
  out[4] = r.attr.bAutoAdjust;
  out[5] = r.attr.bClearBk;
  out[6] = r.attr.bAutoPos;
  out[7] = r.attr.Bright;
  out[8] = r.attr.Contrast;
  const uint16_t wb = r.attr.WB;
  out[9] = uint8_t(wb);
  out[10] = uint8_t(wb >> 8);
  out[11] = r.attr.Gain;
  out[12] = uint8_t(r.attr.Exposure);
  out[13] = r.attr.Gamma;
  out[14] = uint8_t(r.reserved);
  out[15] = uint8_t(r.reserved >> 8);
}

bool DecodeSettingsRecord(const uint8_t *b, size_t size, SettingsRecord *r) {
  if (!b || !r || size < kSettingsRecordSize) return false;
  r->magic = uint16_t(b[0] | (b[1] << 8));
  r->version = uint16_t(b[2] | (b[3] << 8));
  r->attr.bAutoAdjust = b[4];
  r->attr.bClearBk = b[5];
  r->attr.bAutoPos = b[6];
  r->attr.Bright = b[7];
  r->attr.Contrast = b[8];
  r->attr.WB = uint16_t(b[9] | (b[10] << 8));
  r->attr.Gain = b[11];
  r->attr.Exposure = int8_t(b[12]);
  r->attr.Gamma = b[13];
  r->reserved = uint16_t(b[14] | (b[15] << 8));
  return true;
}

bool IsSettingsRecordValid(const SettingsRecord &r) {
  return r.magic == kSettingsMagic && GainInRange(r.attr.Gain) && ExposureInRange(r.attr.Exposure);
}

void RepairSettingsRecord(int devType, SettingsRecord *r) {
  if (IsSettingsRecordValid(*r)) return;
  ImgAttr &a = r->attr;
  if (r->magic == kSettingsMagic) {
    const BrightContrast d = InvalidDefaults(devType);
    a.Bright = d.bright;
    a.Contrast = d.contrast;
  } else {
    const BrightContrast d = BlankDefaults(devType);
    r->magic = kSettingsMagic;
    r->version = kSettingsVersion;
    a.bAutoAdjust = a.bClearBk = a.bAutoPos = 0;
    a.Bright = d.bright;
    a.Contrast = d.contrast;
  }
  switch (devType) {
    case 1:
      a.Gain = 8;
      a.Exposure = -8;
      a.WB = 4650;
      a.Gamma = 0;
      break;
    case 2:
      a.Gain = 4;
      a.Exposure = -5;
      a.WB = 4000;
      a.Gamma = 75;
      break;
    case 5:
      // Type 5 keeps a valid stored gain; an invalid one would make every
      // later apply of the record fail.
      if (!GainInRange(a.Gain)) a.Gain = 1;
      a.Exposure = -6;
      a.WB = 4600;
      a.Gamma = 100;
      break;
    default:
      // Types without their own defaults borrow type 1's for what is out of
      // range and keep the rest.
      if (!GainInRange(a.Gain)) a.Gain = 8;
      if (!ExposureInRange(a.Exposure)) a.Exposure = -8;
      if (!WhiteBalanceInRange(a.WB)) a.WB = 4650;
      break;
  }
}

}  // namespace belnor
