// A scanner's vendor extension units as a plain object, answering the control
// transfers of the flash protocol for white-box tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "flash_crc32.h"
#include "vendor_packets.h"

namespace belnor_test {

using belnor::ControlRequest;

struct LoggedTransfer {
  ControlRequest request;
  std::vector<uint8_t> payload;  // what the host sent (SET) or received (GET)
};

class FakeVendorDevice {
 public:
  FakeVendorDevice() : flash(0x400000, 0xFF) {}

  std::vector<uint8_t> flash;
  std::vector<LoggedTransfer> log;
  std::map<uint16_t, uint8_t> registers;
  uint16_t selected = 0;

  // Faults.
  int zeroRepliesBeforeEach = 0;  // count-0 replies ahead of every real one
  bool stuckReplies = false;      // only count-0 replies
  int oversizedEvery = 0;         // every n-th reply carries count 11
  int rejectWrites = 0;           // this many programs are dropped (CRC "fails")
  int corruptWrites = 0;          // this many programs store a flipped byte
  int failReplyAfter = -1;        // replies after this many fail (transfer -1)
  std::vector<std::pair<uint16_t, uint16_t>> failing;  // (wValue, wIndex) that fail
  int failRegisterReads = 0;      // register reads failing from this one on (1-based), 0 = none
  int failPageReadsFor = -1;      // page index whose reads fail

  int programs = 0;
  int pageReads = 0;

  belnor::ControlTransferFn Transfer() {
    return [this](const ControlRequest &r, uint8_t *data) { return Handle(r, data); };
  }

  int Handle(const ControlRequest &r, uint8_t *data) {
    const bool in = r.requestType & 0x80;
    for (const auto &f : failing)
      if (f.first == r.value && f.second == r.index) return Log(r, data, -1);
    if (!in) log.push_back({r, std::vector<uint8_t>(data, data + r.length)});
    int result = r.length;
    if (r.index == 0x0300 && r.value == 0x0200) {
      Command(data);
    } else if (r.index == 0x0300 && r.value == 0x1100 && !in) {
      readAddress_ = Le32(data);
      readLeft_ = Le32(data + 4);
      repliesServed_ = 0;
      zerosLeft_ = zeroRepliesBeforeEach;
    } else if (r.index == 0x0300 && r.value == 0x1100 && in) {
      result = Reply(data);
    } else if (r.index == 0x0400 && r.value == 0x0200) {
      selected = uint16_t(data[0] | (data[1] << 8));
    } else if (r.index == 0x0400 && r.value == 0x0300 && !in) {
      registers[selected] = data[0];
    } else if (r.index == 0x0400 && r.value == 0x0300 && in) {
      ++registerReads_;
      if (failRegisterReads && registerReads_ >= failRegisterReads) result = -9;
      else data[0] = registers[selected];
    } else if (r.index == 0x0400 && r.value == 0x0E00) {
      pageAddress_ = Le32(data);
    } else if (r.index == 0x0400 && r.value == 0x0F00) {
      ++pageReads;
      if (int((pageAddress_ - 0x20000) / 1024) == failPageReadsFor) result = -7;
      else std::memcpy(data, flash.data() + pageAddress_, 1024);
    } else {
      result = -9;  // stall
    }
    if (in) log.push_back({r, std::vector<uint8_t>(data, data + r.length)});
    return result;
  }

  std::vector<LoggedTransfer> Commands() const {
    std::vector<LoggedTransfer> out;
    for (const auto &t : log)
      if (t.request.value == 0x0200 && t.request.index == 0x0300) out.push_back(t);
    return out;
  }

 private:
  static uint32_t Le32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }

  int Log(const ControlRequest &r, uint8_t *data, int result) {
    log.push_back({r, std::vector<uint8_t>(data, data + r.length)});
    return result;
  }

  void Command(const uint8_t *p) {
    switch (p[0]) {
      case 0xDA:
        writeAddress_ = Le32(p + 1);
        buffer_.clear();
        break;
      case 0xDB:
        writeLength_ = Le32(p + 2);
        writeCrc_ = Le32(p + 6);
        break;
      case 0xDD: {
        const size_t n = std::min<size_t>(10, writeLength_ - buffer_.size());
        buffer_.insert(buffer_.end(), p + 1, p + 1 + n);
        break;
      }
      case 0xDE:
        if (buffer_.size() == writeLength_ &&
            belnor::FlashCrc32(buffer_.data(), buffer_.size()) == writeCrc_) {
          if (rejectWrites > 0) {
            --rejectWrites;
            break;
          }
          std::copy(buffer_.begin(), buffer_.end(), flash.begin() + writeAddress_);
          if (corruptWrites > 0) {
            --corruptWrites;
            flash[writeAddress_] ^= 0x01;
          }
          ++programs;
        }
        break;
      default: break;
    }
  }

  int Reply(uint8_t *data) {
    std::memset(data, 0, 11);
    if (failReplyAfter >= 0 && repliesServed_ >= failReplyAfter) return -1;
    if (stuckReplies || readLeft_ == 0) return 11;
    if (zerosLeft_ > 0) {
      --zerosLeft_;
      return 11;
    }
    ++repliesServed_;
    if (oversizedEvery && repliesServed_ % oversizedEvery == 0) {
      data[0] = 11;
      return 11;
    }
    const uint32_t n = std::min<uint32_t>(10, readLeft_);
    data[0] = uint8_t(n);
    std::memcpy(data + 1, flash.data() + readAddress_, n);
    readAddress_ += n;
    readLeft_ -= n;
    zerosLeft_ = zeroRepliesBeforeEach;
    return 11;
  }

  uint32_t readAddress_ = 0, readLeft_ = 0;
  int repliesServed_ = 0, zerosLeft_ = 0;
  uint32_t writeAddress_ = 0, writeLength_ = 0, writeCrc_ = 0;
  std::vector<uint8_t> buffer_;
  uint32_t pageAddress_ = 0;
  int registerReads_ = 0;
};

}  // namespace belnor_test
