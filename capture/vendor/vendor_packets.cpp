#include "vendor_packets.h"

#include <algorithm>
#include <cstring>

namespace belnor {

void PutLe32(uint8_t *p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

VendorCommand LedPacket(bool on) {
  VendorCommand p{};
  p[0] = kOpLed;
  p[1] = on ? 0x00 : 0x11;
  return p;
}

VendorCommand SensorModePacket(int flag) {
  VendorCommand p{};
  p[0] = kOpSensorMode;
  p[1] = 0x07;
  p[2] = uint8_t(flag);
  return p;
}

VendorCommand FlashBeginPacket(uint32_t address) {
  VendorCommand p{};
  p[0] = kOpFlashBegin;
  PutLe32(&p[1], address);
  return p;
}

VendorCommand FlashLengthPacket(uint32_t length, uint32_t crc) {
  VendorCommand p{};
  p[0] = kOpFlashLength;
  p[1] = 0x0F;
  PutLe32(&p[2], length);
  PutLe32(&p[6], crc);
  return p;
}

std::vector<VendorCommand> FlashDataPackets(const uint8_t *data, size_t length) {
  std::vector<VendorCommand> packets;
  packets.reserve((length + kFlashDataPerPacket - 1) / kFlashDataPerPacket);
  for (size_t at = 0; at < length; at += kFlashDataPerPacket) {
    VendorCommand p{};
    p[0] = kOpFlashData;
    std::memcpy(&p[1], data + at, std::min<size_t>(kFlashDataPerPacket, length - at));
    packets.push_back(p);
  }
  return packets;
}

VendorCommand FlashEndPacket(const VendorCommand &lastData) {
  VendorCommand p = lastData;
  p[0] = kOpFlashEnd;
  return p;
}

VendorCommand FlashReadRequestPacket(uint32_t address, uint32_t length) {
  VendorCommand p{};
  PutLe32(&p[0], address);
  PutLe32(&p[4], length);
  return p;
}

FlashReplyAssembler::Step FlashReplyAssembler::Take(const uint8_t reply[kPacketSize]) {
  const uint32_t n = reply[0];
  if (n == 0 || n > kFlashDataPerPacket) {
    return ++discards_ >= kMaxDiscardsInARow ? Step::kGaveUp : Step::kDiscarded;
  }
  discards_ = 0;
  if (received_ < length_) {
    const uint32_t take = std::min(n, length_ - received_);
    std::memcpy(buffer_ + received_, reply + 1, take);
  }
  received_ += n;
  return Step::kTaken;
}

LampRegisterValues LampWriteValues(const uint8_t lamps[3]) {
  const uint8_t v = uint8_t((lamps[0] ? 0x02 : 0) | (lamps[1] ? 0x08 : 0));
  const uint8_t b = lamps[2] ? uint8_t((v & 0x0B) | 0x03) : uint8_t((v & 0x0A) | 0x02);
  return {v, b};
}

void LampsFromRegisters(uint8_t a, uint8_t b, uint8_t lamps[3]) {
  lamps[0] = (a >> 1) & 1;
  lamps[1] = (a >> 3) & 1;
  lamps[2] = b & 1;
}

}  // namespace belnor
