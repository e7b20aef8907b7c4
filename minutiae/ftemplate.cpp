#include "ftemplate.h"

#include <algorithm>

#include "crc8.h"

namespace minutiae {

int adjustTemplateQuality(int q, int n, int width, int height) {
  int a;
  if (n >= 7 && n <= 9) a = q * 7 / 10;
  else if (n >= 10 && n <= 14) a = q * 8 / 10;
  else if (n >= 15 && n <= 19) a = q * 9 / 10;
  else if (n > 60 && width <= 400 && height <= 400) a = q - n / 10;
  else a = q;
  return std::clamp(a, 0, 100);
}

size_t packFTemplate(const MinutiaeRecord &record, int quality, uint8_t *out) {
  const int n = std::min<int>(record.count, kMaxMinutiae);
  out[0] = 0x46;
  out[1] = 0x10;
  out[2] = 0x63;
  out[3] = uint8_t(quality);
  out[4] = uint8_t(n);
  for (int i = 0; i < n; ++i) {
    const Minutia &m = record.minutiae[i];
    uint8_t *p = out + 5 + 5 * i;
    p[0] = uint8_t((m.x >> 4) & 0xFF);
    p[1] = uint8_t(((m.x & 0x0F) << 4) | ((m.y >> 8) & 0x0F));
    p[2] = uint8_t(m.y & 0xFF);
    p[3] = uint8_t(m.angle >> 1);
    p[4] = uint8_t((m.angle & 1) << 7);
  }
  const size_t body = size_t(5 + 5 * n);
  out[body] = crc8(out, body);
  return body + 1;
}

bool unpackFTemplate(const uint8_t *in, MinutiaeRecord &record) {
  record = MinutiaeRecord{};
  if (in[0] != 0x46) return false;
  const int n = std::min<int>(in[4], kMaxMinutiae);
  record.kind = 3;
  record.count = uint16_t(n);
  for (int i = 0; i < n; ++i) {
    const uint8_t *p = in + 5 + 5 * i;
    Minutia &m = record.minutiae[i];
    m.x = uint16_t((p[0] << 4) | (p[1] >> 4));
    m.y = uint16_t(((p[1] & 0x0F) << 8) | p[2]);
    m.type = 1;
    m.angle = uint8_t((p[3] << 1) | (p[4] >> 7));
  }
  return true;
}

}  // namespace minutiae
