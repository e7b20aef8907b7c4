#include "descriptors.h"

#include <cstdlib>
#include <cstring>

#include <libusb.h>

namespace vscanner {

namespace {

class Bytes {
public:
    explicit Bytes(std::vector<uint8_t>& out) : out_(out) {}
    Bytes& u8(unsigned v) {
        out_.push_back(uint8_t(v));
        return *this;
    }
    Bytes& u16(unsigned v) { return u8(v & 0xFF).u8(v >> 8); }
    Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& raw(const uint8_t* p, size_t n) {
        out_.insert(out_.end(), p, p + n);
        return *this;
    }

private:
    std::vector<uint8_t>& out_;
};

void PutU16(std::vector<uint8_t>& v, size_t at, unsigned value) {
    v[at] = uint8_t(value);
    v[at + 1] = uint8_t(value >> 8);
}

const uint8_t kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

void AppendGuid(Bytes& b, const char fourcc[4]) {
    b.raw(reinterpret_cast<const uint8_t*>(fourcc), 4).raw(kGuidTail, sizeof kGuidTail);
}

// Vendor GUIDs of the two extension units; libuvc only records them.
const uint8_t kCommandUnitGuid[16] = {0x5a, 0x1e, 0x33, 0x70, 0x0b, 0x6f, 0x4c, 0x1d,
                                      0x9a, 0x27, 0x10, 0x03, 0x46, 0x53, 0x00, 0x03};
const uint8_t kRegisterUnitGuid[16] = {0x5a, 0x1e, 0x33, 0x70, 0x0b, 0x6f, 0x4c, 0x1d,
                                       0x9a, 0x27, 0x10, 0x03, 0x46, 0x53, 0x00, 0x04};

void AppendVideoControl(std::vector<uint8_t>& out) {
    const size_t header = out.size();
    Bytes b(out);
    // VC_HEADER, UVC 1.0 (26-byte probe), one streaming interface (1).
    b.u8(0x0D).u8(0x24).u8(0x01).u16(0x0100).u16(0).u32(48000000).u8(1).u8(1);
    // Camera terminal: AE mode and absolute exposure.
    b.u8(0x12).u8(0x24).u8(0x02).u8(kCameraTerminal).u16(0x0201).u8(0).u8(0);
    b.u16(0).u16(0).u16(0).u8(3).u8(0x0A).u8(0x00).u8(0x00);
    // Processing unit: brightness, contrast, saturation, gamma, WB
    // temperature, gain, WB temperature auto.
    b.u8(0x0B).u8(0x24).u8(0x05).u8(kProcessingUnit).u8(kCameraTerminal).u16(0);
    b.u8(2).u16(0x126B).u8(0);
    // Extension unit 3: command (2) and flash read (0x11) selectors.
    b.u8(0x1C).u8(0x24).u8(0x06).u8(kCommandUnit).raw(kCommandUnitGuid, 16).u8(2);
    b.u8(1).u8(kProcessingUnit).u8(3).u8(0x02).u8(0x00).u8(0x01).u8(0);
    // Extension unit 4: register select (2), register data (3), page
    // address (0x0E), page read (0x0F).
    b.u8(0x1C).u8(0x24).u8(0x06).u8(kRegisterUnit).raw(kRegisterUnitGuid, 16).u8(4);
    b.u8(1).u8(kCommandUnit).u8(3).u8(0x06).u8(0x60).u8(0x00).u8(0);
    // Output terminal (streaming).
    b.u8(0x09).u8(0x24).u8(0x03).u8(kOutputTerminal).u16(0x0101).u8(0).u8(kRegisterUnit).u8(0);
    PutU16(out, header + 5, unsigned(out.size() - header));
}

void AppendVideoStreaming(std::vector<uint8_t>& out, const Model& model,
                          const std::vector<Format>& formats, uint32_t interval) {
    const size_t header = out.size();
    const size_t n = formats.size();
    Bytes b(out);
    b.u8(uint8_t(13 + n)).u8(0x24).u8(0x01).u8(uint8_t(n)).u16(0).u8(kStreamEndpoint);
    b.u8(0).u8(kOutputTerminal).u8(0).u8(0).u8(0).u8(1);
    for (size_t i = 0; i < n; ++i)
        b.u8(0);
    for (size_t i = 0; i < n; ++i) {
        const Format f = formats[i];
        const uint8_t index = uint8_t(i + 1);
        uint8_t frameSubtype = 0x05;
        if (f == Format::Mjpeg) {
            b.u8(0x0B).u8(0x24).u8(0x06).u8(index).u8(1).u8(0).u8(1).u8(0).u8(0).u8(0).u8(0);
            frameSubtype = 0x07;
        } else {
            const char* fourcc = f == Format::Yuyv ? "YUY2" : f == Format::Uyvy ? "UYVY" : "Y800";
            const int bpp = f == Format::Gray8 ? 8 : 16;
            b.u8(0x1B).u8(0x24).u8(0x04).u8(index).u8(1);
            AppendGuid(b, fourcc);
            b.u8(uint8_t(bpp)).u8(1).u8(0).u8(0).u8(0).u8(0);
        }
        const uint32_t frameBytes = MaxFrameBytes(model, f);
        const uint32_t bitRate = uint32_t(uint64_t(frameBytes) * 8 * 10000000ull / interval);
        b.u8(0x1E).u8(0x24).u8(frameSubtype).u8(1).u8(0).u16(unsigned(model.width));
        b.u16(unsigned(model.height)).u32(bitRate).u32(bitRate).u32(frameBytes).u32(interval);
        b.u8(1).u32(interval);
    }
    PutU16(out, header + 4, unsigned(out.size() - header));
}

} // namespace

Descriptors BuildDescriptors(const Model& model, const std::vector<Format>& formats,
                             uint32_t interval, const std::string& serial) {
    Descriptors d;
    Bytes dev(d.device);
    // Miscellaneous/IAD class like a UVC camera; strings 1, 2, 3.
    dev.u8(18).u8(LIBUSB_DT_DEVICE).u16(0x0200).u8(0xEF).u8(0x02).u8(0x01).u8(64);
    dev.u16(model.vid).u16(model.pid).u16(0x0100).u8(1).u8(2).u8(3).u8(1);

    std::vector<uint8_t>& c = d.config;
    Bytes b(c);
    b.u8(9).u8(LIBUSB_DT_CONFIG).u16(0).u8(2).u8(1).u8(0).u8(0x80).u8(250);
    // Interface association: interfaces 0 and 1 form the video function.
    b.u8(8).u8(0x0B).u8(0).u8(2).u8(0x0E).u8(0x03).u8(0).u8(2);
    // Interface 0, video control, no status endpoint (libuvc would leave an
    // interrupt transfer behind at close).
    b.u8(9).u8(LIBUSB_DT_INTERFACE).u8(0).u8(0).u8(0).u8(0x0E).u8(0x01).u8(0).u8(2);
    AppendVideoControl(c);
    // Interface 1, video streaming, a single (bulk) alternate setting.
    b.u8(9).u8(LIBUSB_DT_INTERFACE).u8(1).u8(0).u8(1).u8(0x0E).u8(0x02).u8(0).u8(0);
    AppendVideoStreaming(c, model, formats, interval);
    b.u8(7).u8(LIBUSB_DT_ENDPOINT).u8(kStreamEndpoint).u8(LIBUSB_TRANSFER_TYPE_BULK).u16(512).u8(0);
    PutU16(c, 2, unsigned(c.size()));

    d.strings = {"vscanner", model.product, serial};
    return d;
}

std::vector<uint8_t> StringDescriptor(const Descriptors& d, int index) {
    std::vector<uint8_t> out;
    if (index == 0) {
        out = {4, LIBUSB_DT_STRING, 0x09, 0x04};
        return out;
    }
    if (index < 1 || size_t(index) > d.strings.size())
        return out;
    const std::string& s = d.strings[size_t(index) - 1];
    const size_t chars = s.size() < 126 ? s.size() : 126;
    out.push_back(uint8_t(2 + 2 * chars));
    out.push_back(LIBUSB_DT_STRING);
    for (size_t i = 0; i < chars; ++i) {
        out.push_back(uint8_t(s[i]));
        out.push_back(0);
    }
    return out;
}

void ParseDeviceDescriptor(const std::vector<uint8_t>& r, libusb_device_descriptor* d) {
    d->bLength = r[0];
    d->bDescriptorType = r[1];
    d->bcdUSB = uint16_t(r[2] | r[3] << 8);
    d->bDeviceClass = r[4];
    d->bDeviceSubClass = r[5];
    d->bDeviceProtocol = r[6];
    d->bMaxPacketSize0 = r[7];
    d->idVendor = uint16_t(r[8] | r[9] << 8);
    d->idProduct = uint16_t(r[10] | r[11] << 8);
    d->bcdDevice = uint16_t(r[12] | r[13] << 8);
    d->iManufacturer = r[14];
    d->iProduct = r[15];
    d->iSerialNumber = r[16];
    d->bNumConfigurations = r[17];
}

namespace {

unsigned char* CopyExtra(const uint8_t* p, size_t n) {
    if (n == 0)
        return nullptr;
    auto* out = static_cast<unsigned char*>(std::malloc(n));
    std::memcpy(out, p, n);
    return out;
}

} // namespace

// Follows libusb's rules: descriptors that are neither interface nor
// endpoint go into the extra bytes of what precedes them.
libusb_config_descriptor* ParseConfigDescriptor(const std::vector<uint8_t>& raw) {
    if (raw.size() < 9 || raw[1] != LIBUSB_DT_CONFIG)
        return nullptr;
    const size_t total = raw[2] | raw[3] << 8;
    if (total > raw.size())
        return nullptr;
    auto* config = static_cast<libusb_config_descriptor*>(std::calloc(1, sizeof(libusb_config_descriptor)));
    config->bLength = raw[0];
    config->bDescriptorType = raw[1];
    config->wTotalLength = uint16_t(total);
    config->bNumInterfaces = raw[4];
    config->bConfigurationValue = raw[5];
    config->iConfiguration = raw[6];
    config->bmAttributes = raw[7];
    config->MaxPower = raw[8];

    auto* interfaces = static_cast<libusb_interface*>(std::calloc(config->bNumInterfaces ? config->bNumInterfaces : 1,
                                                                  sizeof(libusb_interface)));
    config->interface = interfaces;

    // First pass: count alternate settings and endpoints.
    struct Span {
        size_t begin, end; // bytes of one interface descriptor and what follows it
    };
    std::vector<Span> alts;
    size_t pos = 9;
    size_t configExtraEnd = 9;
    bool seenInterface = false;
    while (pos + 2 <= total && raw[pos] >= 2 && pos + raw[pos] <= total) {
        if (raw[pos + 1] == LIBUSB_DT_INTERFACE) {
            if (!alts.empty())
                alts.back().end = pos;
            alts.push_back({pos, total});
            seenInterface = true;
        } else if (!seenInterface) {
            configExtraEnd = pos + raw[pos];
        }
        pos += raw[pos];
    }
    config->extra = CopyExtra(raw.data() + 9, configExtraEnd - 9);
    config->extra_length = int(configExtraEnd - 9);

    for (const Span& span : alts) {
        const uint8_t number = raw[span.begin + 2];
        if (number >= config->bNumInterfaces)
            continue;
        libusb_interface& itf = interfaces[number];
        auto* settings = static_cast<libusb_interface_descriptor*>(
            std::realloc(const_cast<libusb_interface_descriptor*>(itf.altsetting),
                         sizeof(libusb_interface_descriptor) * size_t(itf.num_altsetting + 1)));
        libusb_interface_descriptor& alt = settings[itf.num_altsetting];
        std::memset(&alt, 0, sizeof alt);
        itf.altsetting = settings;
        itf.num_altsetting++;
        const uint8_t* d = raw.data() + span.begin;
        alt.bLength = d[0];
        alt.bDescriptorType = d[1];
        alt.bInterfaceNumber = d[2];
        alt.bAlternateSetting = d[3];
        alt.bNumEndpoints = d[4];
        alt.bInterfaceClass = d[5];
        alt.bInterfaceSubClass = d[6];
        alt.bInterfaceProtocol = d[7];
        alt.iInterface = d[8];

        auto* endpoints = static_cast<libusb_endpoint_descriptor*>(
            std::calloc(alt.bNumEndpoints ? alt.bNumEndpoints : 1, sizeof(libusb_endpoint_descriptor)));
        alt.endpoint = endpoints;
        size_t p = span.begin + d[0];
        const size_t extraBegin = p;
        size_t extraEnd = p;
        int ep = -1;
        size_t epExtraBegin = 0;
        while (p < span.end) {
            const uint8_t len = raw[p];
            if (raw[p + 1] == LIBUSB_DT_ENDPOINT && ep + 1 < alt.bNumEndpoints) {
                if (ep >= 0) {
                    endpoints[ep].extra = CopyExtra(raw.data() + epExtraBegin, p - epExtraBegin);
                    endpoints[ep].extra_length = int(p - epExtraBegin);
                }
                ++ep;
                libusb_endpoint_descriptor& e = endpoints[ep];
                e.bLength = raw[p];
                e.bDescriptorType = raw[p + 1];
                e.bEndpointAddress = raw[p + 2];
                e.bmAttributes = raw[p + 3];
                e.wMaxPacketSize = uint16_t(raw[p + 4] | raw[p + 5] << 8);
                e.bInterval = raw[p + 6];
                epExtraBegin = p + len;
            } else if (ep < 0) {
                extraEnd = p + len;
            }
            p += len;
        }
        if (ep >= 0 && span.end > epExtraBegin) {
            endpoints[ep].extra = CopyExtra(raw.data() + epExtraBegin, span.end - epExtraBegin);
            endpoints[ep].extra_length = int(span.end - epExtraBegin);
        }
        alt.extra = CopyExtra(raw.data() + extraBegin, extraEnd - extraBegin);
        alt.extra_length = int(extraEnd - extraBegin);
    }
    return config;
}

void FreeConfigDescriptor(libusb_config_descriptor* config) {
    if (!config)
        return;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& itf = config->interface[i];
        for (int a = 0; a < itf.num_altsetting; ++a) {
            const libusb_interface_descriptor& alt = itf.altsetting[a];
            for (int e = 0; e < alt.bNumEndpoints; ++e)
                std::free(const_cast<unsigned char*>(alt.endpoint[e].extra));
            std::free(const_cast<libusb_endpoint_descriptor*>(alt.endpoint));
            std::free(const_cast<unsigned char*>(alt.extra));
        }
        std::free(const_cast<libusb_interface_descriptor*>(itf.altsetting));
    }
    std::free(const_cast<libusb_interface*>(config->interface));
    std::free(const_cast<unsigned char*>(config->extra));
    std::free(config);
}

} // namespace vscanner
