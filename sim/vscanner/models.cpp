#include "models.h"

namespace vscanner {

namespace {

const Model kModels[] = {
    {0x8899, 0x1001, 1, 1424, 984, "Fingerprint Scanner 8899:1001 (type 1)"},
    {0x8899, 0x1002, 2, 1280, 720, "Fingerprint Scanner 8899:1002 (type 2)"},
    {0x7d45, 0x3004, 2, 1280, 720, "Fingerprint Scanner 7d45:3004 (type 2)"},
    {0x13d3, 0x56ff, 3, 1280, 720, "Fingerprint Scanner 13d3:56ff (type 3)"},
    {0x5843, 0x7884, 4, 4096, 3072, "Fingerprint Scanner 5843:7884 (type 4)"},
    {0x8899, 0x1003, 5, 2592, 1944, "Fingerprint Scanner 8899:1003 (type 5)"},
};

// libuvc assembles each frame in a buffer of this size.
constexpr uint32_t kHostFrameBuffer = 16u << 20;

} // namespace

const Model* FindModel(uint16_t vid, uint16_t pid) {
    for (const Model& m : kModels)
        if (m.vid == vid && m.pid == pid)
            return &m;
    return nullptr;
}

Format DefaultFormat(const Model& model) {
    return MaxFrameBytes(model, Format::Yuyv) > kHostFrameBuffer ? Format::Mjpeg : Format::Yuyv;
}

uint32_t MaxFrameBytes(const Model& model, Format format) {
    const uint32_t pixels = uint32_t(model.width) * uint32_t(model.height);
    switch (format) {
    case Format::Yuyv:
    case Format::Uyvy:
        return pixels * 2;
    case Format::Gray8:
    case Format::Mjpeg:
        return pixels;
    }
    return pixels * 2;
}

RecordAddresses RecordAddressesOf(int type) {
    switch (type) {
    case 2:
        return {0x20000, 0x20040, 0x20080};
    case 5:
        return {0x20820, 0x20800, 0x2001A};
    case 3:
        return {0xCA000, 0xCA040, 0};
    default:
        return {0xCA000, 0xCA040, 0xCA080};
    }
}

} // namespace vscanner
