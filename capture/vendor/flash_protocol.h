// Flash access over a control-transfer function: the chunked read and write
// of types 1 and 2, the read-back-verified transfer, the type-5 page cache,
// the type-2 page shadow, and the lamp and command exchanges. The device
// binding (locks, the camera's USB handle, the flash layout) lives in
// flash_transfer.cpp; everything here is plain logic over the transfer.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <vector>

#include "vendor_packets.h"

namespace belnor {

// Sends one 11-byte command; the transfer's result (11 on success).
int SendVendorCommand(const ControlTransferFn &transfer, const VendorCommand &packet);

// Chunked flash read: one request, then replies of up to 10 bytes. Returns
// the sum of the reply counts (the requested length on success); a failed
// transfer or a device that keeps sending unusable replies ends it early.
// Bytes not received are left untouched.
uint32_t ChunkedFlashRead(const ControlTransferFn &transfer, uint32_t address, uint8_t *buffer,
                          uint32_t length);

// Chunked flash write: 0xDA, 0xDB with length and FlashCrc32, the data in
// 0xDD packets, 0xDE. The device acknowledges nothing; the result is length
// and the caller verifies by reading back.
uint32_t ChunkedFlashWrite(const ControlTransferFn &transfer, uint32_t address,
                           const uint8_t *data, uint32_t length);

using FlashReadFn = std::function<uint32_t(uint32_t address, uint8_t *buffer, uint32_t length)>;
using FlashWriteFn =
    std::function<uint32_t(uint32_t address, const uint8_t *data, uint32_t length)>;

constexpr int kFlashWriteTries = 3;

// Read: true when exactly length bytes came back. Write: up to three writes,
// each read back into a scratch copy; true at the first identical read-back.
bool VerifiedFlashRead(const FlashReadFn &read, uint32_t address, uint8_t *buffer,
                       uint32_t length);
bool VerifiedFlashWrite(const FlashReadFn &read, const FlashWriteFn &write, uint32_t address,
                        const uint8_t *data, uint32_t length);

// Type 5 reads its flash in 1 KB pages; the first 4 KB of its vendor area
// are cached page by page.
class Type5PageCache {
 public:
  static constexpr uint32_t kBase = 0x20000;
  static constexpr uint32_t kPageSize = 1024;
  static constexpr int kPages = 4;

  // Loads the pages the range touches and copies it out: length on success,
  // 0 when the range leaves the cached area or a page could not be loaded.
  uint32_t Read(const ControlTransferFn &transfer, uint32_t address, uint8_t *buffer,
                uint32_t length);
  void Reset();
  bool PageLoaded(int page) const { return loaded_[page]; }

 private:
  uint8_t data_[kPages * kPageSize] = {};
  bool loaded_[kPages] = {};
};

// A flash write transaction. With a shadow (type 2), writes land in a copy of
// the vendor area [base, bound) whose touched 4 KB pages were read from flash
// first, and the commit writes those pages back whole, in ascending order.
// Without a shadow the transaction only marks the open/closed state.
class FlashWriteTransaction {
 public:
  static constexpr uint32_t kPageSize = 4096;
  // Reads length bytes of flash at address into dst: 1, or a result code.
  using PageReadFn = std::function<int(uint32_t address, uint8_t *dst, uint32_t length)>;
  // Writes and verifies; true when the page is in flash.
  using PageWriteFn = std::function<bool(uint32_t address, const uint8_t *src, uint32_t length)>;

  // Nothing when already open.
  void Begin(bool withShadow, uint32_t base, uint32_t bound);
  bool IsOpen() const { return open_.load(); }
  // 1; -105 when not open or without a shadow; -1 outside [base, bound); the
  // page reader's result when a page could not be read (nothing changed).
  int Write(uint32_t address, const uint8_t *data, uint32_t length, const PageReadFn &read);
  // 1; -105 when not open; -101 when a page did not verify. Always closes.
  int Commit(const PageWriteFn &write);
  // Forgets any open transaction without writing.
  void Reset();
  std::vector<uint32_t> DirtyPages() const;

 private:
  // Flash range of a page, clipped to the shadow.
  bool PageSpan(uint32_t page, uint32_t *start, uint32_t *length) const;

  mutable std::mutex mutex_;
  std::atomic<bool> open_{false};
  bool shadowed_ = false;
  uint32_t base_ = 0, bound_ = 0;
  std::set<uint32_t> dirty_;
  std::vector<uint8_t> shadow_;
};

// Lamp register access: 1, or -101 when the deciding transfer failed.
int AccessLampRegisters(const ControlTransferFn &transfer, uint8_t lamps[3], bool read);

}  // namespace belnor
