// The vendor requests of the scanners, spoken straight over libusb control
// transfers the way a host does, for the device-side tests.
#pragma once

#include <libusb.h>

#include <cstdint>
#include <cstring>
#include <vector>

class UsbWire {
public:
    UsbWire(uint16_t vid, uint16_t pid) {
        if (libusb_init(&ctx_) == 0)
            h_ = libusb_open_device_with_vid_pid(ctx_, vid, pid);
    }
    ~UsbWire() {
        if (h_)
            libusb_close(h_);
        if (ctx_)
            libusb_exit(ctx_);
    }
    bool ok() const { return h_ != nullptr; }
    libusb_device_handle* handle() const { return h_; }

    int Set(uint16_t value, uint16_t index, const uint8_t* data, uint16_t length) {
        return libusb_control_transfer(h_, 0x21, 0x01, value, index, const_cast<uint8_t*>(data), length, 2000);
    }
    int Get(uint16_t value, uint16_t index, uint8_t* data, uint16_t length) {
        return libusb_control_transfer(h_, 0xA1, 0x81, value, index, data, length, 2000);
    }

    int Command(std::vector<uint8_t> packet) {
        packet.resize(11);
        return Set(0x0200, 0x0300, packet.data(), 11);
    }

    static uint32_t Crc(const uint8_t* data, size_t n) {
        uint32_t crc = 0xFFFFFFFFu;
        for (size_t i = 0; i < n; ++i) {
            crc ^= data[i];
            for (int k = 0; k < 8; ++k)
                crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
        return crc;
    }

    // 0xDA, 0xDB, 0xDD x n, 0xDE; crcXor spoils the checksum.
    void FlashWrite(uint32_t address, const std::vector<uint8_t>& data, uint32_t crcXor = 0) {
        Command({0xDA, uint8_t(address), uint8_t(address >> 8), uint8_t(address >> 16), uint8_t(address >> 24)});
        const uint32_t n = uint32_t(data.size());
        const uint32_t crc = Crc(data.data(), data.size()) ^ crcXor;
        Command({0xDB, 0x0F, uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24), uint8_t(crc),
                 uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)});
        std::vector<uint8_t> packet(11, 0);
        for (size_t at = 0; at < data.size(); at += 10) {
            std::fill(packet.begin(), packet.end(), 0);
            packet[0] = 0xDD;
            const size_t k = std::min<size_t>(10, data.size() - at);
            std::memcpy(&packet[1], &data[at], k);
            Command(packet);
        }
        packet[0] = 0xDE;
        Command(packet);
    }

    // The request, then replies until length bytes came; the reply counts
    // go to counts. Stops at maxReplies.
    std::vector<uint8_t> FlashRead(uint32_t address, uint32_t length, std::vector<int>* counts = nullptr,
                                   int maxReplies = 1000, int* requestResult = nullptr) {
        uint8_t req[11] = {uint8_t(address), uint8_t(address >> 8), uint8_t(address >> 16), uint8_t(address >> 24),
                           uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16), uint8_t(length >> 24)};
        const int r = Set(0x1100, 0x0300, req, 11);
        if (requestResult)
            *requestResult = r;
        std::vector<uint8_t> out;
        for (int i = 0; i < maxReplies && out.size() < length; ++i) {
            uint8_t reply[11];
            if (Get(0x1100, 0x0300, reply, 11) != 11)
                break;
            if (counts)
                counts->push_back(reply[0]);
            if (reply[0] == 0 || reply[0] > 10)
                continue;
            out.insert(out.end(), reply + 1, reply + 1 + reply[0]);
        }
        return out;
    }

    int SelectRegister(uint16_t reg) {
        const uint8_t d[2] = {uint8_t(reg), uint8_t(reg >> 8)};
        return Set(0x0200, 0x0400, d, 2);
    }
    int WriteRegister(uint8_t v) { return Set(0x0300, 0x0400, &v, 1); }
    int ReadRegister(uint8_t* v) { return Get(0x0300, 0x0400, v, 1); }

    int PageAddress(uint32_t a) {
        const uint8_t d[4] = {uint8_t(a), uint8_t(a >> 8), uint8_t(a >> 16), uint8_t(a >> 24)};
        return Set(0x0E00, 0x0400, d, 4);
    }
    int PageRead(uint8_t* page) { return Get(0x0F00, 0x0400, page, 1024); }

private:
    libusb_context* ctx_ = nullptr;
    libusb_device_handle* h_ = nullptr;
};
