// USB and UVC descriptors of an emulated scanner, and the parse of a raw
// configuration descriptor into libusb's structures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "models.h"

struct libusb_config_descriptor;
struct libusb_device_descriptor;

namespace vscanner {

// Entity numbers of the video-control topology.
constexpr int kCameraTerminal = 1;
constexpr int kProcessingUnit = 2;
constexpr int kCommandUnit = 3;
constexpr int kRegisterUnit = 4;
constexpr int kOutputTerminal = 5;

constexpr uint8_t kStreamEndpoint = 0x81;
constexpr uint32_t kPayloadTransferSize = 256 * 1024;

struct Descriptors {
    std::vector<uint8_t> device; // 18 bytes
    std::vector<uint8_t> config; // the whole configuration, class descriptors included
    std::vector<std::string> strings; // index 1.. (index 0 is the language list)
};

// One format descriptor per entry of formats (index 1..n), one frame each
// at the model's sensor size with a single discrete interval.
Descriptors BuildDescriptors(const Model& model, const std::vector<Format>& formats,
                             uint32_t frameInterval100ns, const std::string& serial);

// String descriptor n as USB sends it (UTF-16LE); empty when there is none.
std::vector<uint8_t> StringDescriptor(const Descriptors& d, int index);

void ParseDeviceDescriptor(const std::vector<uint8_t>& raw, libusb_device_descriptor* out);

// Allocates the libusb structure; free with FreeConfigDescriptor. Null when
// the bytes are not a configuration descriptor.
libusb_config_descriptor* ParseConfigDescriptor(const std::vector<uint8_t>& raw);
void FreeConfigDescriptor(libusb_config_descriptor* config);

} // namespace vscanner
