#include "flash_protocol.h"

#include <algorithm>
#include <cstring>

#include "flash_crc32.h"
#include "flash_range.h"
#include "result_codes.h"

namespace belnor {

int SendVendorCommand(const ControlTransferFn &transfer, const VendorCommand &packet) {
  VendorCommand copy = packet;
  return transfer(kCommandRequest, copy.data());
}

uint32_t ChunkedFlashRead(const ControlTransferFn &transfer, uint32_t address, uint8_t *buffer,
                          uint32_t length) {
  VendorCommand request = FlashReadRequestPacket(address, length);
  if (transfer(kFlashReadRequest, request.data()) <= 0) return 0;
  FlashReplyAssembler replies(buffer, length);
  while (!replies.Done()) {
    uint8_t reply[kPacketSize] = {};
    if (transfer(kFlashReadReply, reply) <= 0) break;
    if (replies.Take(reply) == FlashReplyAssembler::Step::kGaveUp) break;
  }
  return replies.Received();
}

uint32_t ChunkedFlashWrite(const ControlTransferFn &transfer, uint32_t address,
                           const uint8_t *data, uint32_t length) {
  SendVendorCommand(transfer, FlashBeginPacket(address));
  SendVendorCommand(transfer, FlashLengthPacket(length, FlashCrc32(data, length)));
  if (length == 0) return 0;
  const std::vector<VendorCommand> packets = FlashDataPackets(data, length);
  for (const VendorCommand &p : packets) SendVendorCommand(transfer, p);
  SendVendorCommand(transfer, FlashEndPacket(packets.back()));
  return length;
}

bool VerifiedFlashRead(const FlashReadFn &read, uint32_t address, uint8_t *buffer,
                       uint32_t length) {
  return read(address, buffer, length) == length;
}

bool VerifiedFlashWrite(const FlashReadFn &read, const FlashWriteFn &write, uint32_t address,
                        const uint8_t *data, uint32_t length) {
  std::vector<uint8_t> back(length);
  for (int attempt = 0; attempt < kFlashWriteTries; ++attempt) {
    if (write(address, data, length) < length) return false;
    if (read(address, back.data(), length) == length &&
        std::memcmp(back.data(), data, length) == 0)
      return true;
  }
  return false;
}

uint32_t Type5PageCache::Read(const ControlTransferFn &transfer, uint32_t address,
                              uint8_t *buffer, uint32_t length) {
  if (!RangeInside(address, length, kBase, kBase + kPages * kPageSize)) return 0;
  if (length == 0) return 0;
  const uint32_t offset = address - kBase;
  const uint32_t first = offset / kPageSize, last = (offset + length - 1) / kPageSize;
  for (uint32_t page = first; page <= last; ++page) {
    if (loaded_[page]) continue;
    uint8_t where[4];
    PutLe32(where, kBase + page * kPageSize);
    if (transfer(kPageAddress, where) != 4) continue;
    if (transfer(kPageRead, data_ + page * kPageSize) == int(kPageSize)) loaded_[page] = true;
  }
  // Every page of the range must be there; a partly loaded range would hand
  // out bytes that never came from the device.
  for (uint32_t page = first; page <= last; ++page)
    if (!loaded_[page]) return 0;
  std::memcpy(buffer, data_ + offset, length);
  return length;
}

void Type5PageCache::Reset() {
  for (bool &l : loaded_) l = false;
}

void FlashWriteTransaction::Begin(bool withShadow, uint32_t base, uint32_t bound) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_) return;
  shadowed_ = withShadow && bound > base;
  dirty_.clear();
  shadow_.clear();
  shadow_.shrink_to_fit();
  if (shadowed_) {
    base_ = base;
    bound_ = bound;
    shadow_.resize(bound - base);
  }
  open_ = true;
}

bool FlashWriteTransaction::PageSpan(uint32_t page, uint32_t *start, uint32_t *length) const {
  const uint64_t from = std::max<uint64_t>(uint64_t(page) * kPageSize, base_);
  const uint64_t to = std::min<uint64_t>(uint64_t(page + 1) * kPageSize, bound_);
  if (from >= to) return false;
  *start = uint32_t(from);
  *length = uint32_t(to - from);
  return true;
}

int FlashWriteTransaction::Write(uint32_t address, const uint8_t *data, uint32_t length,
                                 const PageReadFn &read) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_ || !shadowed_) return LS_ERR_FILE;
  if (!RangeInside(address, length, base_, bound_)) return LS_ERR_PARAM;
  if (length == 0) return LS_OK;
  const uint32_t first = address / kPageSize, last = (address + length - 1) / kPageSize;
  for (uint32_t page = first; page <= last; ++page) {
    if (dirty_.count(page)) continue;
    uint32_t start, span;
    if (!PageSpan(page, &start, &span)) continue;
    const int r = read(start, shadow_.data() + (start - base_), span);
    if (r != LS_OK) return r;
  }
  for (uint32_t page = first; page <= last; ++page) dirty_.insert(page);
  std::memcpy(shadow_.data() + (address - base_), data, length);
  return LS_OK;
}

int FlashWriteTransaction::Commit(const PageWriteFn &write) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_) return LS_ERR_FILE;
  bool allWritten = true;
  if (shadowed_) {
    for (uint32_t page : dirty_) {
      uint32_t start, span;
      if (!PageSpan(page, &start, &span)) continue;
      if (!write(start, shadow_.data() + (start - base_), span)) allWritten = false;
    }
  }
  dirty_.clear();
  shadow_.clear();
  shadow_.shrink_to_fit();
  shadowed_ = false;
  open_ = false;
  return allWritten ? LS_OK : LS_ERR_UNKNOWN;
}

void FlashWriteTransaction::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  dirty_.clear();
  shadow_.clear();
  shadow_.shrink_to_fit();
  shadowed_ = false;
  open_ = false;
}

std::vector<uint32_t> FlashWriteTransaction::DirtyPages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::vector<uint32_t>(dirty_.begin(), dirty_.end());
}

namespace {

int SelectRegister(const ControlTransferFn &transfer, uint16_t reg) {
  uint8_t payload[2] = {uint8_t(reg), uint8_t(reg >> 8)};
  return transfer(kRegisterSelect, payload);
}

}  // namespace

int AccessLampRegisters(const ControlTransferFn &transfer, uint8_t lamps[3], bool read) {
  if (read) {
    lamps[0] = lamps[1] = lamps[2] = 0;
    uint8_t a = 0, b = 0;
    SelectRegister(transfer, kLampRegisterA);
    if (transfer(kRegisterRead, &a) <= 0) return LS_ERR_UNKNOWN;
    SelectRegister(transfer, kLampRegisterB);
    const int r = transfer(kRegisterRead, &b);
    uint8_t got[3];
    LampsFromRegisters(a, b, got);
    lamps[0] = got[0];
    lamps[1] = got[1];
    if (r > 0) lamps[2] = got[2];
    return r > 0 ? LS_OK : LS_ERR_UNKNOWN;
  }
  LampRegisterValues v = LampWriteValues(lamps);
  SelectRegister(transfer, kLampRegisterA);
  transfer(kRegisterWrite, &v.a);
  SelectRegister(transfer, kLampRegisterB);
  return transfer(kRegisterWrite, &v.b) > 0 ? LS_OK : LS_ERR_UNKNOWN;
}

}  // namespace belnor
