// One emulated scanner: its USB presence, control requests, camera state,
// vendor extension units, flash and stream. Shared by every libusb context
// of the process; all state is guarded by mu.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config.h"
#include "descriptors.h"
#include "flash_memory.h"
#include "frame_renderer.h"
#include "host_window.h"
#include "scenes.h"
#include "vscanner_control.h"

struct libusb_transfer;

namespace vscanner {

// Completes a transfer through its context's event loop (usb_core.cpp).
// Called with the device's mu held.
void CompleteTransfer(libusb_transfer* transfer, int status, int actualLength);

class Device {
public:
    // sceneName: a known scene (KnownScene).
    Device(const DeviceConfig& config, int number, const std::string& sceneName, bool trace);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const DeviceConfig config;
    const Model& model;
    const int number;
    const Descriptors descriptors;

    mutable std::mutex mu;

    // Attachment: a handle or listed device belongs to one generation.
    bool AttachedAs(uint32_t generation) const { return attached_ && generation_ == generation; }
    bool attached() const { return attached_; }
    uint32_t generation() const { return generation_; }
    uint8_t address() const { return address_; }
    void Unplug(); // without mu
    void Replug(); // without mu

    // USB requests from libusb handles (mu held by the caller for the
    // first four; the stream stops need it released).
    int Open(uint32_t generation);
    void CloseHandle(const void* handle); // without mu: releases, stops, cancels
    void Forget(libusb_transfer* transfer); // mu held: drops it from the queue
    int Claim(const void* handle, uint32_t generation, int interface);
    int Release(const void* handle, int interface); // without mu
    int SetAltSetting(const void* handle, uint32_t generation, int interface, int alt); // without mu
    int Submit(libusb_transfer* transfer, uint32_t generation);
    bool Cancel(libusb_transfer* transfer); // mu held; true when it was in flight
    // The synchronous control request, without mu.
    int ControlRequest(const void* handle, uint32_t generation, uint8_t requestType, uint8_t request,
                       uint16_t value, uint16_t index, uint8_t* data, uint16_t length, unsigned timeoutMs);

    void StopStream(); // without mu

    // Control interface (vscanner_*), mu held.
    bool FaultHit(int fault, int unit = -1, int selector = -1);
    void SetFault(int fault, int count, int unit, int selector);
    std::map<uint16_t, int32_t> controls;
    uint64_t controlsVersion = 0;
    std::map<uint16_t, uint8_t> registers;
    int led = 0;
    int sensorMode = 0;
    int openCount = 0;
    int openHandles = 0;
    int programmed = 0, rejected = 0;
    FlashMemory flash;
    std::vector<vscanner_wire_entry> wireLog;
    // Scene selection: by name (false for an unknown one), or a callback
    // (null: the configured scene again).
    bool SelectScene(const std::string& name);
    void InstallScene(vscanner_scene_fn fn, void* user);
    // After a register write: the operator scene follows the lamps.
    void LampsChanged();
    // Before each frame, without mu: the operator looks at the host's window.
    void LookAtScreen(CaptureWindowFn window);
    int Claimed() const;
    bool streaming() const { return streaming_; }
    int streamFormatCode() const;
    uint32_t streamInterval() const { return commit_.interval; }
    std::atomic<int64_t> framesSent{0};
    std::atomic<int64_t> streamCpuNs{0};

private:
    struct Fault {
        int count = 0;
        int unit = -1, selector = -1;
    };
    struct StreamParams {
        int formatIndex = 1; // 1-based into config.formats
        uint32_t interval = 0;
    };

    void PowerOn();
    int Standard(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                 uint16_t length);
    int ClassRequest(const void* handle, uint8_t requestType, uint8_t request, uint16_t value,
                     uint16_t index, uint8_t* data, uint16_t length);
    int CameraControl(int unit, uint8_t request, int selector, uint8_t* data, uint16_t length);
    int CommandUnit(uint8_t request, int selector, uint8_t* data, uint16_t length);
    int RegisterUnit(uint8_t request, int selector, uint8_t* data, uint16_t length);
    int StreamingControl(const void* handle, uint8_t request, int selector, uint8_t* data, uint16_t length);
    void Command(const uint8_t* packet);
    void FillStreamControl(const StreamParams& p, uint8_t* data) const;
    void Log(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint16_t length,
             int result, const uint8_t* data);
    void FailInFlight(int status);

    void ShowNamedScene();
    std::vector<uint8_t> CalibrationRecord() const;

    void StartStream(const void* owner);
    void StreamLoop();
    bool SendFrame(std::unique_lock<std::mutex>& lock, const std::vector<uint8_t>& frame, uint8_t fid,
                   uint64_t serial);

    const bool trace_;
    const uint32_t interval_;
    bool attached_ = true;
    uint32_t generation_ = 1;
    uint8_t address_;
    std::array<const void*, 2> claimedBy_{};
    std::array<Fault, 16> faults_{};

    // Extension units.
    uint16_t currentRegister_ = 0;
    uint32_t pageAddress_ = 0;
    uint32_t readAddress_ = 0, readLeft_ = 0;
    bool writeOpen_ = false, writeAnnounced_ = false;
    uint32_t writeAddress_ = 0, writeLength_ = 0, writeCrc_ = 0;
    std::vector<uint8_t> writeData_;

    // Scene: named scenes are made while streaming, so that a finger scene
    // sees the calibration record the flash holds when it starts.
    const std::string configuredScene_;
    std::string sceneName_; // empty while a callback is installed
    Scene scene_{RenderTestPattern, nullptr, StillPicture};
    NamedScenes namedScenes_;

    // Video streaming.
    StreamParams probe_, commit_;
    const void* streamOwner_ = nullptr;
    CaptureWindowFn hostWindow_ = nullptr; // while streaming
    bool streaming_ = false;
    uint64_t streamSerial_ = 0;
    std::deque<libusb_transfer*> inFlight_;
    std::condition_variable streamCv_;
    std::thread producer_;
    // The frame thread's once streaming: kept from one stream to the next,
    // so that a restart sends the picture it has without drawing it again.
    std::unique_ptr<FrameRenderer> renderer_;
};

// FlashCrc32: reflected 0xEDB88320, start 0xFFFFFFFF, no final inversion.
uint32_t FlashCrc32(const uint8_t* data, size_t length);

} // namespace vscanner
