// Extension units 3 (commands, flash) and 4 (registers, type-5 pages).
#include <cstring>

#include <libusb.h>

#include "device.h"

namespace vscanner {

namespace {

constexpr uint8_t kSetCur = 0x01, kGetCur = 0x81, kGetLen = 0x85, kGetInfo = 0x86;

constexpr int kCommandSelector = 0x02, kFlashReadSelector = 0x11;
constexpr int kRegisterSelect = 0x02, kRegisterData = 0x03, kPageAddress = 0x0E, kPageRead = 0x0F;
constexpr uint16_t kPacket = 11;
constexpr uint16_t kPage = 1024;

uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int Describe(uint8_t request, uint16_t size, uint8_t* data, uint16_t length) {
    if (request == kGetLen && length == 2) {
        data[0] = uint8_t(size);
        data[1] = uint8_t(size >> 8);
        return 2;
    }
    if (request == kGetInfo && length == 1) {
        data[0] = 0x03;
        return 1;
    }
    return LIBUSB_ERROR_PIPE;
}

} // namespace

uint32_t FlashCrc32(const uint8_t* data, size_t length) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i)
        crc = (crc >> 8) ^ table[(crc ^ data[i]) & 0xFF];
    return crc;
}

// Type 5 has no command unit path: its illumination is a camera control
// and its flash is read by pages.
int Device::CommandUnit(uint8_t req, int selector, uint8_t* data, uint16_t length) {
    if (model.type == 5 || (selector != kCommandSelector && selector != kFlashReadSelector))
        return LIBUSB_ERROR_PIPE;
    if (req == kGetLen || req == kGetInfo)
        return Describe(req, kPacket, data, length);
    if (length != kPacket)
        return LIBUSB_ERROR_PIPE;
    if (selector == kCommandSelector) {
        if (req != kSetCur)
            return LIBUSB_ERROR_PIPE;
        Command(data);
        return length;
    }
    if (req == kSetCur) {
        const uint32_t address = U32(data), count = U32(data + 4);
        if (!flash.InRange(address, count))
            return LIBUSB_ERROR_PIPE;
        readAddress_ = address;
        readLeft_ = count;
        return length;
    }
    if (req != kGetCur)
        return LIBUSB_ERROR_PIPE;
    std::memset(data, 0, kPacket);
    if (readLeft_ && FaultHit(VSCANNER_FAULT_FLASH_COUNT_ZERO))
        return length;
    if (readLeft_ && FaultHit(VSCANNER_FAULT_FLASH_COUNT_BAD)) {
        data[0] = 11;
        return length;
    }
    // The last reply carries exactly the remainder; none pending: count 0.
    const uint32_t n = readLeft_ < 10 ? readLeft_ : 10;
    data[0] = uint8_t(n);
    flash.Read(readAddress_, data + 1, n);
    readAddress_ += n;
    readLeft_ -= n;
    return length;
}

void Device::Command(const uint8_t* p) {
    switch (p[0]) {
    case 0x80: // illumination
        if (p[1] == 0x00)
            led = 1;
        else if (p[1] == 0x11)
            led = 0;
        break;
    case 0x81: // sensor mode
        if (p[1] == 0x07)
            sensorMode = p[2];
        break;
    case 0xDA: // begin a flash write
        writeOpen_ = true;
        writeAnnounced_ = false;
        writeAddress_ = U32(p + 1);
        writeLength_ = writeCrc_ = 0;
        writeData_.clear();
        break;
    case 0xDB: // length and checksum
        if (writeOpen_ && p[1] == 0x0F) {
            writeAnnounced_ = true;
            writeLength_ = U32(p + 2);
            writeCrc_ = U32(p + 6);
            writeData_.clear();
        }
        break;
    case 0xDD: // data
        if (writeOpen_ && writeAnnounced_ && writeData_.size() < writeLength_) {
            const size_t left = writeLength_ - writeData_.size();
            writeData_.insert(writeData_.end(), p + 1, p + 1 + (left < 10 ? left : 10));
        }
        break;
    case 0xDE: { // end: program when everything arrived intact
        if (!writeOpen_)
            break;
        const bool complete = writeAnnounced_ && writeData_.size() == writeLength_ &&
                              flash.InRange(writeAddress_, writeLength_) &&
                              FlashCrc32(writeData_.data(), writeData_.size()) == writeCrc_;
        if (complete && !FaultHit(VSCANNER_FAULT_FLASH_CRC)) {
            flash.Program(writeAddress_, writeData_.data(), writeLength_);
            ++programmed;
        } else {
            ++rejected;
        }
        writeOpen_ = writeAnnounced_ = false;
        writeData_.clear();
        break;
    }
    default:
        break;
    }
}

int Device::RegisterUnit(uint8_t req, int selector, uint8_t* data, uint16_t length) {
    uint16_t size;
    switch (selector) {
    case kRegisterSelect:
        size = 2;
        break;
    case kRegisterData:
        size = 1;
        break;
    case kPageAddress:
        size = 4;
        break;
    case kPageRead:
        size = kPage;
        break;
    default:
        return LIBUSB_ERROR_PIPE;
    }
    if ((selector == kPageAddress || selector == kPageRead) && model.type != 5)
        return LIBUSB_ERROR_PIPE;
    if (req == kGetLen || req == kGetInfo)
        return Describe(req, size, data, length);
    if (length != size || (req != kSetCur && req != kGetCur))
        return LIBUSB_ERROR_PIPE;
    const bool set = req == kSetCur;
    switch (selector) {
    case kRegisterSelect:
        if (set)
            currentRegister_ = uint16_t(data[0] | data[1] << 8);
        else
            data[0] = uint8_t(currentRegister_), data[1] = uint8_t(currentRegister_ >> 8);
        break;
    case kRegisterData:
        if (set) {
            registers[currentRegister_] = data[0];
            LampsChanged();
        } else {
            data[0] = registers.count(currentRegister_) ? registers[currentRegister_] : 0;
        }
        break;
    case kPageAddress:
        if (set)
            pageAddress_ = U32(data);
        else
            data[0] = uint8_t(pageAddress_), data[1] = uint8_t(pageAddress_ >> 8),
            data[2] = uint8_t(pageAddress_ >> 16), data[3] = uint8_t(pageAddress_ >> 24);
        break;
    case kPageRead:
        if (set || !flash.InRange(pageAddress_, kPage))
            return LIBUSB_ERROR_PIPE;
        flash.Read(pageAddress_, data, kPage);
        break;
    }
    return length;
}

} // namespace vscanner
