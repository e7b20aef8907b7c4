// The device's video stream: one frame thread per streaming device, paced
// at the committed frame interval, filling the host's bulk IN transfers
// with UVC payloads (2-byte header, then frame data).
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include <libusb.h>

#include "camera_model.h"
#include "device.h"
#include "frame_renderer.h"

namespace vscanner {

namespace {

constexpr uint8_t kHeaderLength = 2;
constexpr uint8_t kEndOfHeader = 0x80, kEndOfFrame = 0x02;

int64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void Garble(std::vector<uint8_t>& bytes, size_t from, uint32_t seed) {
    uint32_t x = seed | 1;
    for (size_t i = from; i < bytes.size(); ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = uint8_t(x);
    }
}

} // namespace

int Device::Submit(libusb_transfer* t, uint32_t generation) {
    if (!AttachedAs(generation))
        return LIBUSB_ERROR_NO_DEVICE;
    if (t->endpoint != kStreamEndpoint || t->type != LIBUSB_TRANSFER_TYPE_BULK)
        return LIBUSB_ERROR_NOT_SUPPORTED;
    inFlight_.push_back(t);
    streamCv_.notify_all();
    return 0;
}

bool Device::Cancel(libusb_transfer* t) {
    auto it = std::find(inFlight_.begin(), inFlight_.end(), t);
    if (it == inFlight_.end())
        return false;
    inFlight_.erase(it);
    CompleteTransfer(t, LIBUSB_TRANSFER_CANCELLED, 0);
    return true;
}

void Device::FailInFlight(int status) {
    while (!inFlight_.empty()) {
        libusb_transfer* t = inFlight_.front();
        inFlight_.pop_front();
        CompleteTransfer(t, status, 0);
    }
}

// Called on the commit (mu held): starts the frame thread, or restarts
// the frame sequence with the new parameters.
void Device::StartStream(const void* owner) {
    streamOwner_ = owner;
    streaming_ = true;
    hostWindow_ = FindHostCaptureWindow();
    ShowNamedScene();
    ++streamSerial_;
    streamCv_.notify_all();
    if (!producer_.joinable())
        producer_ = std::thread([this] { StreamLoop(); });
}

void Device::StopStream() {
    std::thread producer;
    {
        std::lock_guard<std::mutex> lock(mu);
        streaming_ = false;
        streamOwner_ = nullptr;
        hostWindow_ = nullptr;
        producer = std::move(producer_);
        streamCv_.notify_all();
    }
    if (producer.joinable())
        producer.join();
}

void Device::StreamLoop() {
    using Clock = std::chrono::steady_clock;
    const int64_t cpuStart = ThreadCpuNs();
    const int64_t cpuBefore = streamCpuNs.load();
    FrameRenderer& renderer = *renderer_;
    std::vector<uint8_t> damaged;

    std::unique_lock<std::mutex> lock(mu);
    uint64_t serial = 0;
    uint64_t frame = 0;
    uint8_t fid = 0;
    Clock::duration interval{};
    Clock::time_point due{};
    while (streaming_) {
        if (serial != streamSerial_) {
            serial = streamSerial_;
            frame = 0;
            interval = std::chrono::duration_cast<Clock::duration>(
                std::chrono::nanoseconds(uint64_t(commit_.interval) * 100));
            due = Clock::now(); // the first frame goes out at once
        }
        if (streamCv_.wait_until(lock, due, [&] { return !streaming_ || serial != streamSerial_; }))
            continue;
        const Clock::time_point now = Clock::now();
        due += interval;
        if (due + interval < now)
            due = now; // fell behind (host slow to return transfers): drop, don't burst

        if (!FaultHit(VSCANNER_FAULT_NO_FRAMES)) {
            const bool cut = FaultHit(VSCANNER_FAULT_SHORT_FRAME);
            const bool garble = FaultHit(VSCANNER_FAULT_CORRUPT_FRAME);
            const Format format = config.formats[size_t(commit_.formatIndex - 1)];
            const Scene sceneNow = scene_;
            const CameraSettings settings = SettingsOf(controls);
            const uint64_t version = controlsVersion;
            const CaptureWindowFn hostWindow = hostWindow_;
            lock.unlock();
            LookAtScreen(hostWindow);
            const std::vector<uint8_t>* bytes = &renderer.Render(format, frame, sceneNow, settings, version);
            if (cut || garble) {
                damaged = *bytes;
                if (garble)
                    Garble(damaged, format == Format::Mjpeg ? std::min<size_t>(damaged.size(), 700) : 0,
                           uint32_t(frame));
                if (cut)
                    damaged.resize(damaged.size() / 2);
                bytes = &damaged;
            }
            lock.lock();
            if (SendFrame(lock, *bytes, fid, serial)) {
                fid ^= 1;
                ++framesSent;
            }
        }
        ++frame;
        streamCpuNs = cpuBefore + ThreadCpuNs() - cpuStart;
    }
}

// Waits for the host's transfers as a bulk endpoint does; false when the
// stream stopped or restarted midway.
bool Device::SendFrame(std::unique_lock<std::mutex>& lock, const std::vector<uint8_t>& frame, uint8_t fid,
                       uint64_t serial) {
    size_t offset = 0;
    do {
        streamCv_.wait(lock, [&] { return !streaming_ || serial != streamSerial_ || !inFlight_.empty(); });
        if (!streaming_ || serial != streamSerial_)
            return false;
        libusb_transfer* t = inFlight_.front();
        inFlight_.pop_front();
        if (t->length <= kHeaderLength) {
            CompleteTransfer(t, LIBUSB_TRANSFER_OVERFLOW, 0);
            continue;
        }
        const size_t n = std::min(size_t(t->length - kHeaderLength), frame.size() - offset);
        std::memcpy(t->buffer + kHeaderLength, frame.data() + offset, n);
        offset += n;
        t->buffer[0] = kHeaderLength;
        t->buffer[1] = uint8_t(kEndOfHeader | fid | (offset == frame.size() ? kEndOfFrame : 0));
        CompleteTransfer(t, LIBUSB_TRANSFER_COMPLETED, int(n + kHeaderLength));
    } while (offset < frame.size());
    return true;
}

} // namespace vscanner

namespace vscanner {

void Device::CloseHandle(const void* handle) {
    bool stop;
    {
        std::lock_guard<std::mutex> lock(mu);
        --openHandles;
        for (const void*& owner : claimedBy_)
            if (owner == handle)
                owner = nullptr;
        stop = streamOwner_ == handle;
        for (auto it = inFlight_.begin(); it != inFlight_.end();) {
            if (static_cast<const void*>((*it)->dev_handle) == handle) {
                CompleteTransfer(*it, LIBUSB_TRANSFER_CANCELLED, 0);
                it = inFlight_.erase(it);
            } else {
                ++it;
            }
        }
    }
    if (stop)
        StopStream();
}

void Device::Forget(libusb_transfer* t) {
    inFlight_.erase(std::remove(inFlight_.begin(), inFlight_.end(), t), inFlight_.end());
}

} // namespace vscanner
