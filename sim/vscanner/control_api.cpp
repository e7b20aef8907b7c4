// The vscanner_* control interface for tests.
#include <cstring>

#include "bus.h"
#include "camera_model.h"
#include "vscanner_control.h"

using vscanner::Bus;
using vscanner::Device;

namespace {

// Runs fn(device) under the device's lock; -1 for an unknown device.
template <class Fn>
auto WithDevice(int number, Fn fn) -> decltype(fn(std::declval<Device&>())) {
    const std::shared_ptr<Device> d = Bus::Get().At(number);
    if (!d)
        return -1;
    std::lock_guard<std::mutex> lock(d->mu);
    return fn(*d);
}

bool IsCameraControl(int unit, int selector) {
    return vscanner::FindControl(unit, selector) != nullptr;
}

constexpr int kSaturation = 0x07;

} // namespace

extern "C" {

int vscanner_reset(const char* devices) {
    return Bus::Get().Reset(devices);
}

int vscanner_device_count(void) {
    return int(Bus::Get().Devices().size());
}

int vscanner_unplug(int number) {
    const std::shared_ptr<Device> d = Bus::Get().At(number);
    if (!d)
        return -1;
    d->Unplug();
    return 0;
}

int vscanner_replug(int number) {
    const std::shared_ptr<Device> d = Bus::Get().At(number);
    if (!d)
        return -1;
    d->Replug();
    return 0;
}

int vscanner_is_attached(int dev) {
    return WithDevice(dev, [](Device& d) { return d.attached() ? 1 : 0; });
}

int vscanner_open_count(int dev) {
    return WithDevice(dev, [](Device& d) { return d.openCount; });
}

int vscanner_open_handles(int dev) {
    return WithDevice(dev, [](Device& d) { return d.openHandles; });
}

int vscanner_claimed(int dev) {
    return WithDevice(dev, [](Device& d) { return d.Claimed(); });
}

int vscanner_is_streaming(int dev) {
    return WithDevice(dev, [](Device& d) { return d.streaming() ? 1 : 0; });
}

int vscanner_stream_info(int dev, int* format, int* width, int* height, uint32_t* interval) {
    return WithDevice(dev, [&](Device& d) {
        if (format)
            *format = d.streamFormatCode();
        if (width)
            *width = d.model.width;
        if (height)
            *height = d.model.height;
        if (interval)
            *interval = d.streamInterval();
        return 0;
    });
}

int64_t vscanner_frames_sent(int dev) {
    const std::shared_ptr<Device> d = Bus::Get().At(dev);
    return d ? d->framesSent.load() : -1;
}

int64_t vscanner_stream_cpu_ns(int dev) {
    const std::shared_ptr<Device> d = Bus::Get().At(dev);
    return d ? d->streamCpuNs.load() : -1;
}

int vscanner_led(int dev) {
    return WithDevice(dev, [](Device& d) {
        if (d.model.type == 5)
            return d.controls[vscanner::ControlKey(VSCANNER_UNIT_PROCESSING, kSaturation)] != 0 ? 1 : 0;
        return d.led;
    });
}

int vscanner_sensor_mode(int dev) {
    return WithDevice(dev, [](Device& d) { return d.sensorMode; });
}

int vscanner_device_type(int dev) {
    return WithDevice(dev, [](Device& d) { return d.model.type; });
}

int vscanner_get_control(int dev, int unit, int selector, int32_t* value) {
    if (!value || !IsCameraControl(unit, selector))
        return -1;
    return WithDevice(dev, [&](Device& d) {
        *value = d.controls[vscanner::ControlKey(unit, selector)];
        return 0;
    });
}

int vscanner_set_control(int dev, int unit, int selector, int32_t value) {
    if (!IsCameraControl(unit, selector))
        return -1;
    return WithDevice(dev, [&](Device& d) {
        d.controls[vscanner::ControlKey(unit, selector)] = value;
        ++d.controlsVersion;
        return 0;
    });
}

int vscanner_get_register(int dev, unsigned reg) {
    if (reg > 0xFFFF)
        return -1;
    return WithDevice(dev, [&](Device& d) {
        auto it = d.registers.find(uint16_t(reg));
        return it == d.registers.end() ? 0 : int(it->second);
    });
}

int vscanner_set_register(int dev, unsigned reg, unsigned value) {
    if (reg > 0xFFFF || value > 0xFF)
        return -1;
    return WithDevice(dev, [&](Device& d) {
        d.registers[uint16_t(reg)] = uint8_t(value);
        d.LampsChanged();
        return 0;
    });
}

int vscanner_read_flash(int dev, uint32_t address, void* out, uint32_t length) {
    if (!out && length)
        return -1;
    return WithDevice(dev, [&](Device& d) {
        if (!d.flash.InRange(address, length))
            return -1;
        d.flash.Read(address, static_cast<uint8_t*>(out), length);
        return 0;
    });
}

int vscanner_write_flash(int dev, uint32_t address, const void* data, uint32_t length) {
    if (!data && length)
        return -1;
    return WithDevice(dev, [&](Device& d) {
        if (!d.flash.InRange(address, length))
            return -1;
        d.flash.Program(address, static_cast<const uint8_t*>(data), length);
        return 0;
    });
}

int vscanner_erase_flash(int dev) {
    return WithDevice(dev, [](Device& d) {
        d.flash.Erase();
        return 0;
    });
}

int vscanner_flash_stats(int dev, int* programmed, int* rejected) {
    return WithDevice(dev, [&](Device& d) {
        if (programmed)
            *programmed = d.programmed;
        if (rejected)
            *rejected = d.rejected;
        return 0;
    });
}

int vscanner_set_fault(int dev, int fault, int count) {
    return vscanner_set_control_fault(dev, fault, count, -1, -1);
}

int vscanner_set_control_fault(int dev, int fault, int count, int unit, int selector) {
    if (fault < VSCANNER_FAULT_NO_FRAMES || fault > VSCANNER_FAULT_CLAIM_BUSY || count < -1)
        return -1;
    return WithDevice(dev, [&](Device& d) {
        d.SetFault(fault, count, unit, selector);
        return 0;
    });
}

int vscanner_wire_count(int dev) {
    return WithDevice(dev, [](Device& d) { return int(d.wireLog.size()); });
}

int vscanner_wire_get(int dev, int i, vscanner_wire_entry* entry) {
    if (!entry || i < 0)
        return -1;
    return WithDevice(dev, [&](Device& d) {
        if (size_t(i) >= d.wireLog.size())
            return -1;
        *entry = d.wireLog[size_t(i)];
        return 0;
    });
}

int vscanner_wire_clear(int dev) {
    return WithDevice(dev, [](Device& d) {
        d.wireLog.clear();
        return 0;
    });
}

int vscanner_set_scene(int dev, vscanner_scene_fn fn, void* user) {
    return WithDevice(dev, [&](Device& d) {
        d.InstallScene(fn, user);
        return 0;
    });
}

int vscanner_set_scene_name(int dev, const char* name) {
    return WithDevice(dev, [&](Device& d) { return name && d.SelectScene(name) ? 0 : -2; });
}

} // extern "C"
