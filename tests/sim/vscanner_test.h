// Shared helpers of the virtual scanner's self-tests: they run on the real
// libuvc and libusb interfaces, with the replacement library selected by
// LD_LIBRARY_PATH, and reach the control interface through dlsym.
#pragma once

#include <libuvc/libuvc.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vscanner_control.h"
#include "vscanner_testing.h"

// How long a test waits for frames: generous, as the machine may be busy,
// and longer under the sanitizers.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::chrono::seconds kPatience{90};
#else
constexpr std::chrono::seconds kPatience{30};
#endif

// Every test starts on the scanner as the program found it.
inline const bool kFreshScannerEachTest = vscanner_testing::ResetBeforeEachTest();

template <class F>
F* RequireVscanner(F* fn, const char* name) {
    if (!fn) {
        std::fprintf(stderr, "%s not found: the test must run with LD_LIBRARY_PATH at the virtual scanner\n", name);
        std::abort();
    }
    return fn;
}

// Calls a control function of the loaded virtual scanner.
#define VS(fn) (*RequireVscanner(VSCANNER_LOOKUP(fn), #fn))

// Attaches exactly these devices; the other VSCANNER_* variables apply.
inline void AttachDevices(const char* spec, const char* fps = nullptr, const char* format = nullptr) {
    if (fps)
        setenv("VSCANNER_FPS", fps, 1);
    if (format)
        setenv("VSCANNER_FORMAT", format, 1);
    VS(vscanner_reset)(spec);
}

// A file name of this process under $TMPDIR (or /tmp).
inline std::string TempPath(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/vscanner-" + std::to_string(getpid()) + "-" + name;
}

// A libuvc context with its device list.
class UvcContext {
public:
    UvcContext() {
        EXPECT_EQ(uvc_init(&ctx_, nullptr), UVC_SUCCESS);
    }
    ~UvcContext() {
        if (ctx_)
            uvc_exit(ctx_);
    }
    uvc_context_t* get() const { return ctx_; }

    // The nth device with this id (in list order), or null; the caller owns
    // one reference.
    uvc_device_t* Find(uint16_t vid, uint16_t pid, int nth = 0) {
        uvc_device_t** list = nullptr;
        if (uvc_get_device_list(ctx_, &list) != UVC_SUCCESS)
            return nullptr;
        uvc_device_t* found = nullptr;
        for (int i = 0; list[i] && !found; ++i) {
            uvc_device_descriptor_t* d = nullptr;
            if (uvc_get_device_descriptor(list[i], &d) == UVC_SUCCESS) {
                if (d->idVendor == vid && d->idProduct == pid && nth-- == 0) {
                    found = list[i];
                    uvc_ref_device(found);
                }
                uvc_free_device_descriptor(d);
            }
        }
        uvc_free_device_list(list, 1);
        return found;
    }

private:
    uvc_context_t* ctx_ = nullptr;
};

// Stops a handle's stream when the scope ends unless Stop() did: declared
// after the frame sink, it stops the stream before the sink goes, also when
// an assertion ends the test early.
class StopStreamOnExit {
public:
    explicit StopStreamOnExit(uvc_device_handle_t* devh) : devh_(devh) {}
    ~StopStreamOnExit() { Stop(); }
    StopStreamOnExit(const StopStreamOnExit&) = delete;
    StopStreamOnExit& operator=(const StopStreamOnExit&) = delete;
    void Stop() {
        if (devh_)
            uvc_stop_streaming(devh_);
        devh_ = nullptr;
    }

private:
    uvc_device_handle_t* devh_;
};

// Collects frames from libuvc's callback thread.
struct FrameSink {
    std::mutex mu;
    int frames = 0;
    int width = 0, height = 0;
    uvc_frame_format format = UVC_FRAME_FORMAT_UNKNOWN;
    size_t bytes = 0;
    uint32_t sequence = 0; // libuvc's count of the frames it assembled
    std::vector<uint8_t> last;

    static void OnFrame(uvc_frame_t* frame, void* user) {
        auto* self = static_cast<FrameSink*>(user);
        std::lock_guard<std::mutex> lock(self->mu);
        ++self->frames;
        self->width = int(frame->width);
        self->height = int(frame->height);
        self->format = frame->frame_format;
        self->bytes = frame->data_bytes;
        self->sequence = frame->sequence;
        const auto* p = static_cast<const uint8_t*>(frame->data);
        self->last.assign(p, p + frame->data_bytes);
    }
    int Count() {
        std::lock_guard<std::mutex> lock(mu);
        return frames;
    }
    // Waits until at least n frames arrived or the time is up.
    bool WaitFor(int n, std::chrono::milliseconds limit = kPatience) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (Count() < n) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
};
