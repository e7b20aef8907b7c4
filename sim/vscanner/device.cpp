#include "device.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <libusb.h>

#include "camera_model.h"
#include "frame_renderer.h"

namespace vscanner {

namespace {

std::atomic<unsigned> g_nextAddress{2};

uint8_t NewAddress() {
    return uint8_t(2 + (g_nextAddress++ - 2) % 126);
}

uint32_t IntervalOf(double fps) {
    const double interval = std::floor(10000000.0 / fps + 0.5);
    return interval < 1 ? 1u : uint32_t(interval);
}

constexpr size_t kWireLogLimit = 1 << 18;
constexpr uint16_t kProbeLength = 26; // UVC 1.0

// UVC request codes.
constexpr uint8_t kSetCur = 0x01, kGetCur = 0x81, kGetMin = 0x82, kGetMax = 0x83, kGetRes = 0x84,
                  kGetLen = 0x85, kGetInfo = 0x86, kGetDef = 0x87;

} // namespace

Device::Device(const DeviceConfig& cfg, int n, const std::string& sceneName, bool trace)
    : config(cfg), model(*cfg.model), number(n),
      descriptors(BuildDescriptors(*cfg.model, cfg.formats, IntervalOf(cfg.fps), cfg.serial)),
      flash(cfg.flashPath, cfg.factoryFlash ? FactoryImage(*cfg.model, cfg.serial) : std::vector<uint8_t>()),
      trace_(trace), interval_(IntervalOf(cfg.fps)), address_(NewAddress()),
      configuredScene_(sceneName), sceneName_(sceneName), namedScenes_(cfg.model->type, cfg.fps),
      // Made with the device, not at the first frame: faulting in its
      // buffers then eats into the host's first-frame deadline on a busy
      // machine.
      renderer_(std::make_unique<FrameRenderer>(cfg.model->width, cfg.model->height,
                                                SettingsOf(PowerOnControls(cfg.model->type)))) {
    for (const auto& f : cfg.faults)
        SetFault(f.first, f.second, -1, -1);
    PowerOn();
}

Device::~Device() {
    StopStream();
}

void Device::PowerOn() {
    controls = PowerOnControls(model.type);
    ++controlsVersion;
    registers.clear();
    LampsChanged();
    led = 0;
    sensorMode = 0;
    currentRegister_ = 0;
    pageAddress_ = 0;
    readAddress_ = readLeft_ = 0;
    writeOpen_ = writeAnnounced_ = false;
    writeData_.clear();
    probe_ = commit_ = StreamParams{1, interval_};
    claimedBy_ = {};
}

void Device::Unplug() {
    std::thread producer;
    {
        std::lock_guard<std::mutex> lock(mu);
        if (!attached_)
            return;
        attached_ = false;
        streaming_ = false;
        streamOwner_ = nullptr;
        hostWindow_ = nullptr;
        FailInFlight(LIBUSB_TRANSFER_NO_DEVICE);
        producer = std::move(producer_);
        streamCv_.notify_all();
    }
    if (producer.joinable())
        producer.join();
}

void Device::Replug() {
    std::lock_guard<std::mutex> lock(mu);
    if (attached_)
        return;
    attached_ = true;
    ++generation_;
    address_ = NewAddress();
    PowerOn();
}

int Device::Open(uint32_t generation) {
    if (!AttachedAs(generation))
        return LIBUSB_ERROR_NO_DEVICE;
    if (FaultHit(VSCANNER_FAULT_OPEN_ACCESS))
        return LIBUSB_ERROR_ACCESS;
    ++openCount;
    ++openHandles;
    return 0;
}

int Device::Claim(const void* handle, uint32_t generation, int interface) {
    if (!AttachedAs(generation))
        return LIBUSB_ERROR_NO_DEVICE;
    if (interface < 0 || interface > 1)
        return LIBUSB_ERROR_NOT_FOUND;
    if (claimedBy_[size_t(interface)] && claimedBy_[size_t(interface)] != handle)
        return LIBUSB_ERROR_BUSY;
    if (FaultHit(VSCANNER_FAULT_CLAIM_BUSY))
        return LIBUSB_ERROR_BUSY;
    claimedBy_[size_t(interface)] = handle;
    return 0;
}

int Device::Release(const void* handle, int interface) {
    bool stop = false;
    {
        std::lock_guard<std::mutex> lock(mu);
        if (interface < 0 || interface > 1 || claimedBy_[size_t(interface)] != handle)
            return LIBUSB_ERROR_NOT_FOUND;
        claimedBy_[size_t(interface)] = nullptr;
        stop = interface == 1 && streamOwner_ == handle;
    }
    if (stop)
        StopStream();
    return 0;
}

int Device::SetAltSetting(const void* handle, uint32_t generation, int interface, int alt) {
    bool stop = false;
    {
        std::lock_guard<std::mutex> lock(mu);
        if (!AttachedAs(generation))
            return LIBUSB_ERROR_NO_DEVICE;
        if (interface < 0 || interface > 1 || alt != 0)
            return LIBUSB_ERROR_NOT_FOUND;
        // Alternate setting 0 of the streaming interface ends the stream.
        stop = interface == 1 && streamOwner_ == handle;
    }
    if (stop)
        StopStream();
    return 0;
}

int Device::Claimed() const {
    return (claimedBy_[0] ? 1 : 0) | (claimedBy_[1] ? 2 : 0);
}

int Device::streamFormatCode() const {
    const size_t i = size_t(commit_.formatIndex - 1);
    return i < config.formats.size() ? int(config.formats[i]) : 0;
}

bool Device::FaultHit(int fault, int unit, int selector) {
    if (fault <= 0 || size_t(fault) >= faults_.size())
        return false;
    Fault& f = faults_[size_t(fault)];
    if (f.count == 0)
        return false;
    if (f.unit >= 0 && f.unit != unit)
        return false;
    if (f.selector >= 0 && f.selector != selector)
        return false;
    if (f.count > 0)
        --f.count;
    return true;
}

void Device::SetFault(int fault, int count, int unit, int selector) {
    if (fault <= 0 || size_t(fault) >= faults_.size())
        return;
    faults_[size_t(fault)] = Fault{count, unit, selector};
}

void Device::Log(uint8_t rt, uint8_t req, uint16_t value, uint16_t index, uint16_t length, int result,
                 const uint8_t* data) {
    vscanner_wire_entry e{};
    e.request_type = rt;
    e.request = req;
    e.value = value;
    e.index = index;
    e.length = length;
    e.result = result;
    const size_t n = length < sizeof e.data ? length : sizeof e.data;
    if (data && n)
        std::memcpy(e.data, data, n);
    if (wireLog.size() < kWireLogLimit)
        wireLog.push_back(e);
    if (trace_) {
        std::fprintf(stderr, "vscanner[%d] %02X %02X %04X %04X %u ->%d:", number, rt, req, value, index,
                     length, result);
        for (size_t i = 0; i < n; ++i)
            std::fprintf(stderr, " %02X", e.data[i]);
        std::fprintf(stderr, "\n");
    }
}

int Device::ControlRequest(const void* handle, uint32_t generation, uint8_t rt, uint8_t req,
                           uint16_t value, uint16_t index, uint8_t* data, uint16_t length,
                           unsigned timeoutMs) {
    std::unique_lock<std::mutex> lock(mu);
    if (!AttachedAs(generation))
        return LIBUSB_ERROR_NO_DEVICE;
    if ((rt & LIBUSB_REQUEST_TYPE_VENDOR) == 0 && (rt & LIBUSB_REQUEST_TYPE_CLASS) == 0)
        return Standard(rt, req, value, index, data, length);

    const bool toHost = rt & LIBUSB_ENDPOINT_IN;
    const bool videoControl = (rt & 0x1F) == LIBUSB_RECIPIENT_INTERFACE && (index & 0xFF) == 0 &&
                              (rt & 0x60) == LIBUSB_REQUEST_TYPE_CLASS;
    const int unit = index >> 8, selector = value >> 8;
    if (videoControl && FaultHit(VSCANNER_FAULT_CONTROL_TIMEOUT, unit, selector)) {
        Log(rt, req, value, index, length, LIBUSB_ERROR_TIMEOUT, toHost ? nullptr : data);
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs ? timeoutMs : 1000));
        return LIBUSB_ERROR_TIMEOUT;
    }
    int result;
    if (videoControl && FaultHit(VSCANNER_FAULT_CONTROL_STALL, unit, selector))
        result = LIBUSB_ERROR_PIPE;
    else
        result = ClassRequest(handle, rt, req, value, index, data, length);
    Log(rt, req, value, index, length, result, (toHost && result < 0) ? nullptr : data);
    return result;
}

int Device::Standard(uint8_t rt, uint8_t req, uint16_t value, uint16_t index, uint8_t* data,
                     uint16_t length) {
    (void)index;
    if (rt == LIBUSB_ENDPOINT_IN && req == LIBUSB_REQUEST_GET_DESCRIPTOR) {
        std::vector<uint8_t> d;
        switch (value >> 8) {
        case LIBUSB_DT_DEVICE:
            d = descriptors.device;
            break;
        case LIBUSB_DT_CONFIG:
            if ((value & 0xFF) == 0)
                d = descriptors.config;
            break;
        case LIBUSB_DT_STRING:
            d = StringDescriptor(descriptors, value & 0xFF);
            break;
        default:
            break;
        }
        if (d.empty())
            return LIBUSB_ERROR_PIPE;
        const size_t n = d.size() < length ? d.size() : length;
        std::memcpy(data, d.data(), n);
        return int(n);
    }
    if ((rt & LIBUSB_ENDPOINT_IN) && req == LIBUSB_REQUEST_GET_STATUS && length >= 2) {
        data[0] = data[1] = 0;
        return 2;
    }
    if (rt == LIBUSB_ENDPOINT_IN && req == LIBUSB_REQUEST_GET_CONFIGURATION && length >= 1) {
        data[0] = 1;
        return 1;
    }
    return LIBUSB_ERROR_PIPE;
}

int Device::ClassRequest(const void* handle, uint8_t rt, uint8_t req, uint16_t value, uint16_t index,
                         uint8_t* data, uint16_t length) {
    if ((rt & 0x60) != LIBUSB_REQUEST_TYPE_CLASS || (rt & 0x1F) != LIBUSB_RECIPIENT_INTERFACE)
        return LIBUSB_ERROR_PIPE;
    // The direction must agree with the request: SET_CUR out, GET_* in.
    const bool toHost = rt & LIBUSB_ENDPOINT_IN;
    if ((req == kSetCur) == toHost || (req != kSetCur && (req < kGetCur || req > kGetDef)))
        return LIBUSB_ERROR_PIPE;
    if ((value & 0xFF) != 0 || (length && !data))
        return LIBUSB_ERROR_PIPE;
    const int interface = index & 0xFF, entity = index >> 8, selector = value >> 8;
    if (interface == 1 && entity == 0)
        return StreamingControl(handle, req, selector, data, length);
    if (interface != 0)
        return LIBUSB_ERROR_PIPE;
    switch (entity) {
    case kCameraTerminal:
    case kProcessingUnit:
        return CameraControl(entity, req, selector, data, length);
    case kCommandUnit:
        return CommandUnit(req, selector, data, length);
    case kRegisterUnit:
        return RegisterUnit(req, selector, data, length);
    default:
        return LIBUSB_ERROR_PIPE;
    }
}

namespace {

void PutLE(uint8_t* out, int64_t value, size_t size) {
    for (size_t i = 0; i < size; ++i)
        out[i] = uint8_t(uint64_t(value) >> (8 * i));
}

int64_t GetLE(const uint8_t* in, size_t size, bool isSigned) {
    uint64_t v = 0;
    for (size_t i = 0; i < size; ++i)
        v |= uint64_t(in[i]) << (8 * i);
    if (isSigned && size < 8 && (v >> (8 * size - 1)) & 1)
        v |= ~0ull << (8 * size);
    return int64_t(v);
}

// GET_LEN and GET_INFO, common to every control.
int Describe(uint8_t request, size_t size, uint8_t* data, uint16_t length) {
    if (request == kGetLen && length == 2) {
        PutLE(data, int64_t(size), 2);
        return 2;
    }
    if (request == kGetInfo && length == 1) {
        data[0] = 0x03; // GET and SET supported
        return 1;
    }
    return LIBUSB_ERROR_PIPE;
}

} // namespace

int Device::CameraControl(int unit, uint8_t req, int selector, uint8_t* data, uint16_t length) {
    const ControlDef* def = FindControl(unit, selector);
    if (!def)
        return LIBUSB_ERROR_PIPE;
    if (req == kGetLen || req == kGetInfo)
        return Describe(req, def->size, data, length);
    if (length != def->size)
        return LIBUSB_ERROR_PIPE;
    const uint16_t key = ControlKey(unit, selector);
    switch (req) {
    case kSetCur:
        controls[key] = int32_t(GetLE(data, def->size, def->isSigned));
        ++controlsVersion;
        return length;
    case kGetCur:
        PutLE(data, controls[key], def->size);
        return length;
    case kGetMin:
        PutLE(data, def->min, def->size);
        return length;
    case kGetMax:
        PutLE(data, def->max, def->size);
        return length;
    case kGetRes:
        PutLE(data, def->res, def->size);
        return length;
    case kGetDef:
        PutLE(data, PowerOnControls(model.type)[key], def->size);
        return length;
    default:
        return LIBUSB_ERROR_PIPE;
    }
}

void Device::FillStreamControl(const StreamParams& p, uint8_t* d) const {
    std::memset(d, 0, kProbeLength);
    d[0] = 1; // bmHint: frame interval fixed
    d[2] = uint8_t(p.formatIndex);
    d[3] = 1;
    PutLE(d + 4, p.interval, 4);
    const Format f = config.formats[size_t(p.formatIndex - 1)];
    PutLE(d + 18, MaxFrameBytes(model, f), 4);
    PutLE(d + 22, kPayloadTransferSize, 4);
}

int Device::StreamingControl(const void* handle, uint8_t req, int selector, uint8_t* data,
                             uint16_t length) {
    if (selector != 1 && selector != 2) // probe, commit
        return LIBUSB_ERROR_PIPE;
    if (req == kGetLen || req == kGetInfo)
        return Describe(req, kProbeLength, data, length);
    if (length != kProbeLength)
        return LIBUSB_ERROR_PIPE;
    StreamParams& p = selector == 1 ? probe_ : commit_;
    if (req == kSetCur) {
        // The device settles on what it offers: a known format, its one
        // frame and its one interval.
        StreamParams want{data[2], interval_};
        if (want.formatIndex < 1 || size_t(want.formatIndex) > config.formats.size())
            want.formatIndex = 1;
        p = want;
        if (selector == 2)
            StartStream(handle);
        return length;
    }
    if (req == kGetCur) {
        FillStreamControl(p, data);
        return length;
    }
    FillStreamControl(StreamParams{1, interval_}, data);
    return length;
}

} // namespace vscanner
