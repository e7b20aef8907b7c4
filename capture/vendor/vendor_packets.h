// Wire formats of the scanner's vendor extension units: control requests,
// the 11-byte command packets, flash read requests and lamp register values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace belnor {

struct ControlRequest {
  uint8_t requestType;
  uint8_t request;
  uint16_t value;  // selector << 8
  uint16_t index;  // unit << 8, interface 0
  uint16_t length;
};

constexpr int kVendorTimeoutMs = 2000;
constexpr int kPacketSize = 11;

constexpr ControlRequest kCommandRequest{0x21, 0x01, 0x0200, 0x0300, kPacketSize};
constexpr ControlRequest kFlashReadRequest{0x21, 0x01, 0x1100, 0x0300, kPacketSize};
constexpr ControlRequest kFlashReadReply{0xA1, 0x81, 0x1100, 0x0300, kPacketSize};
constexpr ControlRequest kRegisterSelect{0x21, 0x01, 0x0200, 0x0400, 2};
constexpr ControlRequest kRegisterWrite{0x21, 0x01, 0x0300, 0x0400, 1};
constexpr ControlRequest kRegisterRead{0xA1, 0x81, 0x0300, 0x0400, 1};
constexpr ControlRequest kPageAddress{0x21, 0x01, 0x0E00, 0x0400, 4};
constexpr ControlRequest kPageRead{0xA1, 0x81, 0x0F00, 0x0400, 1024};

// One control transfer of request.length bytes at data: the bytes
// transferred, or <= 0 when it failed.
using ControlTransferFn = std::function<int(const ControlRequest &request, uint8_t *data)>;

using VendorCommand = std::array<uint8_t, kPacketSize>;

enum VendorOpcode : uint8_t {
  kOpLed = 0x80,
  kOpSensorMode = 0x81,
  kOpFlashBegin = 0xDA,
  kOpFlashLength = 0xDB,
  kOpFlashData = 0xDD,
  kOpFlashEnd = 0xDE,
};

constexpr int kFlashDataPerPacket = 10;

VendorCommand LedPacket(bool on);
VendorCommand SensorModePacket(int flag);
VendorCommand FlashBeginPacket(uint32_t address);
VendorCommand FlashLengthPacket(uint32_t length, uint32_t crc);
// The 0xDD packets carrying data, 10 bytes each, the last one shorter.
std::vector<VendorCommand> FlashDataPackets(const uint8_t *data, size_t length);
// 0xDE keeps the payload of the last data packet.
VendorCommand FlashEndPacket(const VendorCommand &lastData);
// Address and length of a chunked flash read (types 1 and 2).
VendorCommand FlashReadRequestPacket(uint32_t address, uint32_t length);

void PutLe32(uint8_t *p, uint32_t v);

// Collects the replies of a chunked flash read. Each reply carries its count
// n (1..10) in byte 0 and n data bytes; other counts are discarded, and a
// device that keeps sending them is given up on.
class FlashReplyAssembler {
 public:
  static constexpr int kMaxDiscardsInARow = 50;
  enum class Step { kTaken, kDiscarded, kGaveUp };

  FlashReplyAssembler(uint8_t *buffer, uint32_t length) : buffer_(buffer), length_(length) {}
  Step Take(const uint8_t reply[kPacketSize]);
  bool Done() const { return received_ >= length_; }
  // Sum of the counts taken; equals the requested length on a clean read.
  uint32_t Received() const { return received_; }

 private:
  uint8_t *buffer_;
  uint32_t length_;
  uint32_t received_ = 0;
  int discards_ = 0;
};

// Lamp registers: lamp 0 is bit 1 and lamp 1 bit 3 of 0x2043, lamp 2 bit 0
// of 0x204C.
constexpr uint16_t kLampRegisterA = 0x2043;
constexpr uint16_t kLampRegisterB = 0x204C;

struct LampRegisterValues {
  uint8_t a, b;
};
LampRegisterValues LampWriteValues(const uint8_t lamps[3]);
void LampsFromRegisters(uint8_t a, uint8_t b, uint8_t lamps[3]);

}  // namespace belnor
