// The libusb-1.0 interface over the emulated devices: contexts, device
// lists, handles, synchronous control transfers, asynchronous bulk
// transfers and the event loop that completes them.
#pragma GCC visibility push(default)
#include <libusb.h>
#pragma GCC visibility pop

#include <sys/time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "bus.h"
#include "device.h"

using vscanner::Bus;
using vscanner::Device;

struct libusb_context {
    std::mutex mu;
    std::condition_variable cv;
    std::deque<libusb_transfer*> done; // completed, callback not yet run
    std::map<std::pair<const Device*, uint32_t>, libusb_device*> devices;
    uint64_t interrupts = 0;
    std::atomic<int> refs{1};
};

struct libusb_device {
    libusb_context* ctx;
    std::shared_ptr<Device> dev;
    uint32_t generation;
    uint8_t address;
    int refs; // under ctx->mu
};

struct libusb_device_handle {
    libusb_device* udev;
    libusb_context* ctx;
    std::shared_ptr<Device> dev;
    uint32_t generation;
};

namespace {

// Lives just before each libusb_transfer, as in libusb itself.
struct alignas(16) TransferPriv {
    enum State { kIdle, kInFlight, kDone, kInCallback };
    std::atomic<int> state{kIdle};
    libusb_context* ctx = nullptr;
    std::shared_ptr<Device> dev;
};

constexpr size_t kPrivSize = (sizeof(TransferPriv) + 15) & ~size_t(15);

TransferPriv* PrivOf(libusb_transfer* t) {
    return reinterpret_cast<TransferPriv*>(reinterpret_cast<char*>(t) - kPrivSize);
}

// The event loop blocks at most this long, so that libuvc's handler thread
// notices its stop flag promptly.
constexpr auto kEventWait = std::chrono::milliseconds(4);

std::mutex g_defaultMu;
libusb_context* g_default = nullptr;
int g_defaultUsers = 0;

libusb_context* Resolve(libusb_context* ctx) {
    if (ctx)
        return ctx;
    std::lock_guard<std::mutex> lock(g_defaultMu);
    return g_default;
}

void UnrefContext(libusb_context* ctx) {
    if (ctx && --ctx->refs == 0)
        delete ctx;
}

void Interrupt(libusb_context* ctx) {
    std::lock_guard<std::mutex> lock(ctx->mu);
    ++ctx->interrupts;
    ctx->cv.notify_all();
}

int HandleEvents(libusb_context* ctx, std::chrono::microseconds timeout, int* completed) {
    ctx = Resolve(ctx);
    if (!ctx)
        return LIBUSB_ERROR_INVALID_PARAM;
    std::unique_lock<std::mutex> lock(ctx->mu);
    const uint64_t interrupts = ctx->interrupts;
    auto ready = [&] {
        return !ctx->done.empty() || ctx->interrupts != interrupts ||
               (completed && __atomic_load_n(completed, __ATOMIC_ACQUIRE));
    };
    ctx->cv.wait_for(lock, std::min<std::chrono::microseconds>(timeout, kEventWait), ready);
    // Callbacks run on the caller's thread without locks; a callback may
    // resubmit or free its transfer.
    while (!ctx->done.empty()) {
        libusb_transfer* t = ctx->done.front();
        ctx->done.pop_front();
        PrivOf(t)->state = TransferPriv::kInCallback;
        lock.unlock();
        const bool freeIt = t->flags & LIBUSB_TRANSFER_FREE_TRANSFER;
        if (t->callback)
            t->callback(t);
        if (freeIt)
            libusb_free_transfer(t);
        lock.lock();
        if (completed && __atomic_load_n(completed, __ATOMIC_ACQUIRE))
            break;
    }
    return 0;
}

enum libusb_transfer_status StatusOf(int result) {
    switch (result) {
    case LIBUSB_ERROR_PIPE:
        return LIBUSB_TRANSFER_STALL;
    case LIBUSB_ERROR_TIMEOUT:
        return LIBUSB_TRANSFER_TIMED_OUT;
    case LIBUSB_ERROR_NO_DEVICE:
        return LIBUSB_TRANSFER_NO_DEVICE;
    default:
        return result < 0 ? LIBUSB_TRANSFER_ERROR : LIBUSB_TRANSFER_COMPLETED;
    }
}

} // namespace

namespace vscanner {

void CompleteTransfer(libusb_transfer* t, int status, int actualLength) {
    TransferPriv* priv = PrivOf(t);
    libusb_context* ctx = priv->ctx;
    std::lock_guard<std::mutex> lock(ctx->mu);
    t->status = libusb_transfer_status(status);
    t->actual_length = actualLength;
    priv->state = TransferPriv::kDone;
    ctx->done.push_back(t);
    ctx->cv.notify_all();
}

} // namespace vscanner

extern "C" {

int libusb_init(libusb_context** out) {
    Bus::Get(); // the configuration is read now
    if (!out) {
        std::lock_guard<std::mutex> lock(g_defaultMu);
        if (!g_default)
            g_default = new libusb_context;
        ++g_defaultUsers;
        return 0;
    }
    *out = new libusb_context;
    return 0;
}

void libusb_exit(libusb_context* ctx) {
    if (!ctx) {
        std::lock_guard<std::mutex> lock(g_defaultMu);
        if (!g_default || --g_defaultUsers > 0)
            return;
        ctx = g_default;
        g_default = nullptr;
    }
    Interrupt(ctx);
    UnrefContext(ctx);
}

void libusb_set_debug(libusb_context*, int) {}
void libusb_set_log_cb(libusb_context*, libusb_log_cb, int) {}
int libusb_set_option(libusb_context*, enum libusb_option, ...) {
    return 0;
}

const struct libusb_version* libusb_get_version(void) {
    static const libusb_version version = {1, 0, 26, 0, "", "vscanner"};
    return &version;
}

int libusb_has_capability(uint32_t capability) {
    return capability == LIBUSB_CAP_HAS_CAPABILITY;
}

const char* libusb_error_name(int code) {
    switch (code) {
    case LIBUSB_SUCCESS:
        return "LIBUSB_SUCCESS";
    case LIBUSB_ERROR_IO:
        return "LIBUSB_ERROR_IO";
    case LIBUSB_ERROR_INVALID_PARAM:
        return "LIBUSB_ERROR_INVALID_PARAM";
    case LIBUSB_ERROR_ACCESS:
        return "LIBUSB_ERROR_ACCESS";
    case LIBUSB_ERROR_NO_DEVICE:
        return "LIBUSB_ERROR_NO_DEVICE";
    case LIBUSB_ERROR_NOT_FOUND:
        return "LIBUSB_ERROR_NOT_FOUND";
    case LIBUSB_ERROR_BUSY:
        return "LIBUSB_ERROR_BUSY";
    case LIBUSB_ERROR_TIMEOUT:
        return "LIBUSB_ERROR_TIMEOUT";
    case LIBUSB_ERROR_OVERFLOW:
        return "LIBUSB_ERROR_OVERFLOW";
    case LIBUSB_ERROR_PIPE:
        return "LIBUSB_ERROR_PIPE";
    case LIBUSB_ERROR_INTERRUPTED:
        return "LIBUSB_ERROR_INTERRUPTED";
    case LIBUSB_ERROR_NO_MEM:
        return "LIBUSB_ERROR_NO_MEM";
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return "LIBUSB_ERROR_NOT_SUPPORTED";
    default:
        return "LIBUSB_ERROR_OTHER";
    }
}

const char* libusb_strerror(int code) {
    return libusb_error_name(code);
}

ssize_t libusb_get_device_list(libusb_context* ctx, libusb_device*** list) {
    ctx = Resolve(ctx);
    if (!ctx || !list)
        return LIBUSB_ERROR_INVALID_PARAM;
    struct Seen {
        std::shared_ptr<Device> dev;
        uint32_t generation;
        uint8_t address;
    };
    std::vector<Seen> attached;
    for (const auto& d : Bus::Get().Devices()) {
        std::lock_guard<std::mutex> lock(d->mu);
        if (d->attached())
            attached.push_back({d, d->generation(), d->address()});
    }
    auto** out = static_cast<libusb_device**>(std::calloc(attached.size() + 1, sizeof(libusb_device*)));
    if (!out)
        return LIBUSB_ERROR_NO_MEM;
    std::lock_guard<std::mutex> lock(ctx->mu);
    for (size_t i = 0; i < attached.size(); ++i) {
        const auto key = std::make_pair(static_cast<const Device*>(attached[i].dev.get()), attached[i].generation);
        libusb_device*& udev = ctx->devices[key];
        if (!udev) {
            // The context keeps one object per device, alive while referenced.
            udev = new libusb_device{ctx, attached[i].dev, attached[i].generation, attached[i].address, 0};
            ++ctx->refs;
        }
        ++udev->refs;
        out[i] = udev;
    }
    *list = out;
    return ssize_t(attached.size());
}

libusb_device* libusb_ref_device(libusb_device* udev) {
    if (udev) {
        std::lock_guard<std::mutex> lock(udev->ctx->mu);
        ++udev->refs;
    }
    return udev;
}

void libusb_unref_device(libusb_device* udev) {
    if (!udev)
        return;
    libusb_context* ctx = udev->ctx;
    {
        std::lock_guard<std::mutex> lock(ctx->mu);
        if (--udev->refs > 0)
            return;
        ctx->devices.erase(std::make_pair(static_cast<const Device*>(udev->dev.get()), udev->generation));
    }
    delete udev;
    UnrefContext(ctx);
}

void libusb_free_device_list(libusb_device** list, int unrefDevices) {
    if (!list)
        return;
    if (unrefDevices)
        for (libusb_device** p = list; *p; ++p)
            libusb_unref_device(*p);
    std::free(list);
}

uint8_t libusb_get_bus_number(libusb_device*) {
    return 1;
}

uint8_t libusb_get_device_address(libusb_device* udev) {
    return udev ? udev->address : 0;
}

uint8_t libusb_get_port_number(libusb_device* udev) {
    return udev ? uint8_t(udev->dev->number + 1) : 0;
}

int libusb_get_port_numbers(libusb_device* udev, uint8_t* ports, int length) {
    if (!udev || !ports || length < 1)
        return LIBUSB_ERROR_OVERFLOW;
    ports[0] = libusb_get_port_number(udev);
    return 1;
}

libusb_device* libusb_get_parent(libusb_device*) {
    return nullptr;
}

int libusb_get_device_speed(libusb_device*) {
    return LIBUSB_SPEED_HIGH;
}

int libusb_get_max_packet_size(libusb_device*, unsigned char endpoint) {
    return endpoint == vscanner::kStreamEndpoint ? 512 : LIBUSB_ERROR_NOT_FOUND;
}

int libusb_get_device_descriptor(libusb_device* udev, struct libusb_device_descriptor* desc) {
    if (!udev || !desc)
        return LIBUSB_ERROR_INVALID_PARAM;
    vscanner::ParseDeviceDescriptor(udev->dev->descriptors.device, desc);
    return 0;
}

int libusb_get_config_descriptor(libusb_device* udev, uint8_t index, struct libusb_config_descriptor** config) {
    if (!udev || !config)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (index != 0)
        return LIBUSB_ERROR_NOT_FOUND;
    *config = vscanner::ParseConfigDescriptor(udev->dev->descriptors.config);
    return *config ? 0 : LIBUSB_ERROR_IO;
}

int libusb_get_active_config_descriptor(libusb_device* udev, struct libusb_config_descriptor** config) {
    return libusb_get_config_descriptor(udev, 0, config);
}

int libusb_get_config_descriptor_by_value(libusb_device* udev, uint8_t value,
                                          struct libusb_config_descriptor** config) {
    if (value != 1)
        return LIBUSB_ERROR_NOT_FOUND;
    return libusb_get_config_descriptor(udev, 0, config);
}

void libusb_free_config_descriptor(struct libusb_config_descriptor* config) {
    vscanner::FreeConfigDescriptor(config);
}

int libusb_open(libusb_device* udev, libusb_device_handle** out) {
    if (!udev || !out)
        return LIBUSB_ERROR_INVALID_PARAM;
    {
        std::lock_guard<std::mutex> lock(udev->dev->mu);
        const int r = udev->dev->Open(udev->generation);
        if (r != 0)
            return r;
    }
    libusb_ref_device(udev);
    ++udev->ctx->refs;
    *out = new libusb_device_handle{udev, udev->ctx, udev->dev, udev->generation};
    return 0;
}

void libusb_close(libusb_device_handle* h) {
    if (!h)
        return;
    h->dev->CloseHandle(h);
    libusb_context* ctx = h->ctx;
    libusb_device* udev = h->udev;
    delete h;
    Interrupt(ctx); // an event loop waiting for this handle returns
    libusb_unref_device(udev);
    UnrefContext(ctx);
}

libusb_device_handle* libusb_open_device_with_vid_pid(libusb_context* ctx, uint16_t vid, uint16_t pid) {
    libusb_device** list = nullptr;
    if (libusb_get_device_list(ctx, &list) < 0)
        return nullptr;
    libusb_device_handle* h = nullptr;
    for (libusb_device** p = list; *p && !h; ++p)
        if ((*p)->dev->model.vid == vid && (*p)->dev->model.pid == pid && libusb_open(*p, &h) != 0)
            h = nullptr;
    libusb_free_device_list(list, 1);
    return h;
}

libusb_device* libusb_get_device(libusb_device_handle* h) {
    return h ? h->udev : nullptr;
}

int libusb_get_configuration(libusb_device_handle* h, int* config) {
    if (!h || !config)
        return LIBUSB_ERROR_INVALID_PARAM;
    *config = 1;
    return 0;
}

int libusb_set_configuration(libusb_device_handle* h, int config) {
    if (!h)
        return LIBUSB_ERROR_INVALID_PARAM;
    return config == 1 || config == -1 ? 0 : LIBUSB_ERROR_NOT_FOUND;
}

int libusb_claim_interface(libusb_device_handle* h, int interface) {
    if (!h)
        return LIBUSB_ERROR_INVALID_PARAM;
    std::lock_guard<std::mutex> lock(h->dev->mu);
    return h->dev->Claim(h, h->generation, interface);
}

int libusb_release_interface(libusb_device_handle* h, int interface) {
    if (!h)
        return LIBUSB_ERROR_INVALID_PARAM;
    return h->dev->Release(h, interface);
}

int libusb_set_interface_alt_setting(libusb_device_handle* h, int interface, int alt) {
    if (!h)
        return LIBUSB_ERROR_INVALID_PARAM;
    return h->dev->SetAltSetting(h, h->generation, interface, alt);
}

int libusb_clear_halt(libusb_device_handle* h, unsigned char) {
    return h ? 0 : LIBUSB_ERROR_INVALID_PARAM;
}

int libusb_reset_device(libusb_device_handle* h) {
    if (!h)
        return LIBUSB_ERROR_INVALID_PARAM;
    std::lock_guard<std::mutex> lock(h->dev->mu);
    return h->dev->AttachedAs(h->generation) ? 0 : LIBUSB_ERROR_NOT_FOUND;
}

// No kernel driver is ever bound to an emulated device.
int libusb_kernel_driver_active(libusb_device_handle* h, int) {
    return h ? 0 : LIBUSB_ERROR_INVALID_PARAM;
}

int libusb_detach_kernel_driver(libusb_device_handle* h, int) {
    if (!h)
        return LIBUSB_ERROR_INVALID_PARAM;
    std::lock_guard<std::mutex> lock(h->dev->mu);
    return h->dev->AttachedAs(h->generation) ? LIBUSB_ERROR_NOT_FOUND : LIBUSB_ERROR_NO_DEVICE;
}

int libusb_attach_kernel_driver(libusb_device_handle* h, int) {
    return h ? LIBUSB_ERROR_NOT_FOUND : LIBUSB_ERROR_INVALID_PARAM;
}

int libusb_set_auto_detach_kernel_driver(libusb_device_handle* h, int) {
    return h ? 0 : LIBUSB_ERROR_INVALID_PARAM;
}

int libusb_control_transfer(libusb_device_handle* h, uint8_t requestType, uint8_t request, uint16_t value,
                            uint16_t index, unsigned char* data, uint16_t length, unsigned int timeout) {
    if (!h)
        return LIBUSB_ERROR_INVALID_PARAM;
    return h->dev->ControlRequest(h, h->generation, requestType, request, value, index, data, length, timeout);
}

int libusb_get_string_descriptor_ascii(libusb_device_handle* h, uint8_t index, unsigned char* data, int length) {
    if (!h || !data || length <= 0)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (index == 0)
        return LIBUSB_ERROR_INVALID_PARAM;
    unsigned char buf[255];
    int r = libusb_control_transfer(h, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                    uint16_t(LIBUSB_DT_STRING << 8), 0, buf, sizeof buf, 1000);
    if (r < 0)
        return r;
    if (r < 4)
        return LIBUSB_ERROR_IO;
    const uint16_t lang = uint16_t(buf[2] | buf[3] << 8);
    r = libusb_control_transfer(h, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                uint16_t(LIBUSB_DT_STRING << 8 | index), lang, buf, sizeof buf, 1000);
    if (r < 0)
        return r;
    if (r < 2 || buf[1] != LIBUSB_DT_STRING || buf[0] > r)
        return LIBUSB_ERROR_IO;
    int n = 0;
    for (int i = 2; i + 1 < buf[0] && n < length - 1; i += 2)
        data[n++] = (buf[i + 1] || buf[i] & 0x80) ? '?' : buf[i];
    data[n] = 0;
    return n;
}

struct libusb_transfer* libusb_alloc_transfer(int isoPackets) {
    if (isoPackets < 0)
        return nullptr;
    const size_t size = kPrivSize + sizeof(libusb_transfer) +
                        sizeof(libusb_iso_packet_descriptor) * size_t(isoPackets);
    void* block = std::calloc(1, size);
    if (!block)
        return nullptr;
    new (block) TransferPriv;
    auto* t = reinterpret_cast<libusb_transfer*>(static_cast<char*>(block) + kPrivSize);
    t->num_iso_packets = isoPackets;
    return t;
}

void libusb_free_transfer(struct libusb_transfer* t) {
    if (!t)
        return;
    TransferPriv* priv = PrivOf(t);
    if (priv->dev && priv->state != TransferPriv::kIdle && priv->state != TransferPriv::kInCallback) {
        // Freed while pending: take it out of the queues first.
        std::lock_guard<std::mutex> lock(priv->dev->mu);
        priv->dev->Forget(t);
        std::lock_guard<std::mutex> ctxLock(priv->ctx->mu);
        auto& done = priv->ctx->done;
        done.erase(std::remove(done.begin(), done.end(), t), done.end());
    }
    if (t->flags & LIBUSB_TRANSFER_FREE_BUFFER)
        std::free(t->buffer);
    priv->~TransferPriv();
    std::free(priv);
}

int libusb_submit_transfer(struct libusb_transfer* t) {
    if (!t || !t->dev_handle)
        return LIBUSB_ERROR_INVALID_PARAM;
    libusb_device_handle* h = t->dev_handle;
    TransferPriv* priv = PrivOf(t);
    const int state = priv->state;
    if (state == TransferPriv::kInFlight || state == TransferPriv::kDone)
        return LIBUSB_ERROR_BUSY;
    Device& dev = *h->dev;
    // A transfer keeps its handle's device and context (they change only
    // when the transfer moves to another handle).
    auto bind = [&] {
        if (priv->dev != h->dev)
            priv->dev = h->dev;
        if (priv->ctx != h->ctx)
            priv->ctx = h->ctx;
    };
    if (t->type == LIBUSB_TRANSFER_TYPE_CONTROL) {
        if (t->length < int(LIBUSB_CONTROL_SETUP_SIZE))
            return LIBUSB_ERROR_INVALID_PARAM;
        const unsigned char* s = t->buffer;
        const uint16_t length = uint16_t(s[6] | s[7] << 8);
        if (int(LIBUSB_CONTROL_SETUP_SIZE) + length > t->length)
            return LIBUSB_ERROR_INVALID_PARAM;
        const int r = dev.ControlRequest(h, h->generation, s[0], s[1], uint16_t(s[2] | s[3] << 8),
                                         uint16_t(s[4] | s[5] << 8), t->buffer + LIBUSB_CONTROL_SETUP_SIZE,
                                         length, t->timeout);
        if (r == LIBUSB_ERROR_NO_DEVICE)
            return r;
        std::lock_guard<std::mutex> lock(dev.mu);
        bind();
        priv->state = TransferPriv::kInFlight;
        vscanner::CompleteTransfer(t, StatusOf(r), r > 0 ? r : 0);
        return 0;
    }
    std::lock_guard<std::mutex> lock(dev.mu);
    bind();
    const int r = dev.Submit(t, h->generation);
    if (r == 0 || r == LIBUSB_ERROR_NO_DEVICE)
        priv->state = TransferPriv::kInFlight;
    if (r == LIBUSB_ERROR_NO_DEVICE) {
        // Gone: the transfer comes back failed through the event loop, as
        // one in flight at the unplug does. libuvc 0.0.6 keeps a transfer
        // whose resubmit failed and then waits for it forever at stop.
        vscanner::CompleteTransfer(t, LIBUSB_TRANSFER_NO_DEVICE, 0);
        return 0;
    }
    return r;
}

int libusb_cancel_transfer(struct libusb_transfer* t) {
    if (!t)
        return LIBUSB_ERROR_INVALID_PARAM;
    TransferPriv* priv = PrivOf(t);
    if (!t->dev_handle)
        return LIBUSB_ERROR_NOT_FOUND;
    Device& dev = *t->dev_handle->dev;
    // The cancellation itself arrives later, through the event loop.
    std::lock_guard<std::mutex> lock(dev.mu);
    if (priv->dev.get() != &dev)
        return LIBUSB_ERROR_NOT_FOUND; // never submitted here
    if (dev.Cancel(t))
        return 0;
    std::lock_guard<std::mutex> ctxLock(priv->ctx->mu);
    if (priv->state == TransferPriv::kDone && t->status == LIBUSB_TRANSFER_COMPLETED) {
        // Completed but not yet handed back: the cancel wins.
        t->status = LIBUSB_TRANSFER_CANCELLED;
        t->actual_length = 0;
        return 0;
    }
    return LIBUSB_ERROR_NOT_FOUND;
}

int libusb_handle_events_timeout_completed(libusb_context* ctx, struct timeval* tv, int* completed) {
    const auto timeout = tv ? std::chrono::seconds(tv->tv_sec) + std::chrono::microseconds(tv->tv_usec)
                            : std::chrono::microseconds(kEventWait);
    return HandleEvents(ctx, timeout, completed);
}

int libusb_handle_events_timeout(libusb_context* ctx, struct timeval* tv) {
    return libusb_handle_events_timeout_completed(ctx, tv, nullptr);
}

int libusb_handle_events(libusb_context* ctx) {
    return HandleEvents(ctx, kEventWait, nullptr);
}

int libusb_handle_events_completed(libusb_context* ctx, int* completed) {
    return HandleEvents(ctx, kEventWait, completed);
}

void libusb_interrupt_event_handler(libusb_context* ctx) {
    if ((ctx = Resolve(ctx)))
        Interrupt(ctx);
}

} // extern "C"
