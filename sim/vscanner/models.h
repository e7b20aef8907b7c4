// The scanner models the virtual scanner can emulate.
#pragma once

#include <cstdint>

namespace vscanner {

enum class Format { Yuyv = 1, Mjpeg = 2, Uyvy = 3, Gray8 = 4 };

struct Model {
    uint16_t vid;
    uint16_t pid;
    int type;  // device type 1..5 of the capture library's model table
    int width; // sensor = frame size
    int height;
    const char* product;
};

// Null for an id that no model has.
const Model* FindModel(uint16_t vid, uint16_t pid);

// YUYV at 4096x3072 exceeds libuvc's frame buffer: such a model streams MJPEG.
Format DefaultFormat(const Model& model);

// Bytes of one frame (MJPEG: the most a frame may take).
uint32_t MaxFrameBytes(const Model& model, Format format);

// Where a type keeps its factory records in flash, as the capture library
// reads them.
struct RecordAddresses {
    uint32_t settings;
    uint32_t productInfo;
    uint32_t calibration; // 0: the type keeps none
};
RecordAddresses RecordAddressesOf(int type);

} // namespace vscanner
