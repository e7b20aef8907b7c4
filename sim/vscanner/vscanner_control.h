/* Control interface of the virtual scanner.
 *
 * The virtual scanner is a replacement libusb-1.0.so.0: a process that finds
 * it first on LD_LIBRARY_PATH talks to emulated UVC fingerprint scanners
 * instead of real USB. Besides the libusb functions it exports the
 * vscanner_* functions below, which tests reach with
 * dlsym(RTLD_DEFAULT, "vscanner_...") (see VSCANNER_LOOKUP) or by linking
 * the library directly.
 *
 * Devices are numbered 0..vscanner_device_count()-1 in the order of
 * VSCANNER_DEVICES; a number stays valid across unplug and replug.
 * Functions returning int give 0 (or a value) on success and -1 for an
 * unknown device or a bad argument unless said otherwise.
 */
#ifndef VSCANNER_CONTROL_H
#define VSCANNER_CONTROL_H

#include <stddef.h>
#include <stdint.h>

#define VSCANNER_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* UVC entity numbers of every model (wIndex high byte). */
enum vscanner_unit {
    VSCANNER_UNIT_CAMERA = 1,      /* camera terminal */
    VSCANNER_UNIT_PROCESSING = 2,  /* processing unit */
    VSCANNER_UNIT_XU_COMMAND = 3,  /* extension unit 3: commands, flash */
    VSCANNER_UNIT_XU_REGISTER = 4, /* extension unit 4: registers, pages */
};

/* Faults to inject. The count given to vscanner_set_fault is how many
 * events the fault hits (frames, requests, opens, writes); -1 = until
 * switched off, 0 = off. */
enum vscanner_fault {
    VSCANNER_FAULT_NO_FRAMES = 1,    /* streaming sends nothing (per frame) */
    VSCANNER_FAULT_SHORT_FRAME,      /* a frame carries only half its bytes */
    VSCANNER_FAULT_CORRUPT_FRAME,    /* a frame's bytes are garbage (MJPEG:
                                        headers kept, scan data garbled) */
    VSCANNER_FAULT_CONTROL_STALL,    /* a video-control request stalls (-9) */
    VSCANNER_FAULT_CONTROL_TIMEOUT,  /* a video-control request times out (-7)
                                        after its timeout, 1 s when it is 0 */
    VSCANNER_FAULT_FLASH_COUNT_ZERO, /* a flash read reply says 0 bytes and
                                        sends nothing */
    VSCANNER_FAULT_FLASH_COUNT_BAD,  /* a flash read reply says 11 bytes (the
                                        host must discard it) */
    VSCANNER_FAULT_FLASH_CRC,        /* the device rejects a flash write as if
                                        its CRC were wrong */
    VSCANNER_FAULT_OPEN_ACCESS,      /* libusb_open fails with ACCESS (-3) */
    VSCANNER_FAULT_CLAIM_BUSY,       /* libusb_claim_interface fails BUSY (-6) */
};

/* Replaces the attached devices by a new set, given in the syntax of
 * VSCANNER_DEVICES (NULL: read the environment again, as at start).
 * Old devices are unplugged first. Returns the number of devices. */
VSCANNER_API int vscanner_reset(const char* devices);
VSCANNER_API int vscanner_device_count(void);

/* Unplug: in-flight transfers complete with NO_DEVICE, open handles fail
 * with NO_DEVICE from then on, the device leaves the device list. Replug
 * attaches it again at a new address, powered up afresh (camera state
 * reset, flash kept). */
VSCANNER_API int vscanner_unplug(int dev);
VSCANNER_API int vscanner_replug(int dev);
VSCANNER_API int vscanner_is_attached(int dev);

/* USB side. */
VSCANNER_API int vscanner_open_count(int dev);   /* successful libusb_open calls */
VSCANNER_API int vscanner_open_handles(int dev); /* handles open now */
VSCANNER_API int vscanner_claimed(int dev);      /* bit n = interface n claimed */

/* Streaming: 1 while a committed stream runs. Format 1 YUYV, 2 MJPEG,
 * 3 UYVY, 4 GRAY8 (vscanner_stream_info, any pointer may be NULL). */
VSCANNER_API int vscanner_is_streaming(int dev);
VSCANNER_API int vscanner_stream_info(int dev, int* format, int* width, int* height,
                                      uint32_t* frame_interval_100ns);
VSCANNER_API int64_t vscanner_frames_sent(int dev);
/* CPU time the device's frame thread has used so far, in nanoseconds. */
VSCANNER_API int64_t vscanner_stream_cpu_ns(int dev);

/* Device state. LED: 1 on, 0 off (type 5: the saturation switch).
 * Sensor mode: the flag of the last sensor-mode command, 0 at power-up. */
VSCANNER_API int vscanner_led(int dev);
VSCANNER_API int vscanner_sensor_mode(int dev);
VSCANNER_API int vscanner_device_type(int dev);

/* Camera controls (unit VSCANNER_UNIT_CAMERA or _PROCESSING, UVC
 * selector): read or preset the current value. -1 for a control the
 * model does not have. */
VSCANNER_API int vscanner_get_control(int dev, int unit, int selector, int32_t* value);
VSCANNER_API int vscanner_set_control(int dev, int unit, int selector, int32_t value);

/* Registers of extension unit 4 (the lamps are bits of 0x2043, 0x204C).
 * vscanner_get_register returns the value 0..255. */
VSCANNER_API int vscanner_get_register(int dev, unsigned reg);
VSCANNER_API int vscanner_set_register(int dev, unsigned reg, unsigned value);

/* Flash (4 MiB, blank 0xFF). A preset goes to the flash image file too. */
VSCANNER_API int vscanner_read_flash(int dev, uint32_t address, void* out, uint32_t length);
VSCANNER_API int vscanner_write_flash(int dev, uint32_t address, const void* data, uint32_t length);
VSCANNER_API int vscanner_erase_flash(int dev);
/* Flash writes the device programmed and rejected (either may be NULL). */
VSCANNER_API int vscanner_flash_stats(int dev, int* programmed, int* rejected);

/* Faults: count as in enum vscanner_fault. The control faults hit every
 * request of the video-control interface; vscanner_set_control_fault
 * narrows one to a unit and selector (-1 = any). */
VSCANNER_API int vscanner_set_fault(int dev, int fault, int count);
VSCANNER_API int vscanner_set_control_fault(int dev, int fault, int count, int unit,
                                            int selector);

/* Wire log: every class and vendor control request of the device, in
 * order (standard requests such as descriptor reads are not logged). */
typedef struct vscanner_wire_entry {
    uint8_t request_type;
    uint8_t request;
    uint16_t value;
    uint16_t index;
    uint16_t length;
    int32_t result;   /* bytes moved, or a negative libusb error */
    uint8_t data[64]; /* the first min(length, 64) bytes sent or returned */
} vscanner_wire_entry;

VSCANNER_API int vscanner_wire_count(int dev);
VSCANNER_API int vscanner_wire_get(int dev, int i, vscanner_wire_entry* entry);
VSCANNER_API int vscanner_wire_clear(int dev);

/* Frame source: the light the sensor sees, one byte per pixel, before the
 * camera's exposure, gain, brightness, contrast and gamma. Called on the
 * device's frame thread for each frame; returns 0 when the picture equals
 * the one of the previous call (the device then reuses its last frame),
 * nonzero when it wrote a new one. NULL restores the scene named by
 * VSCANNER_SCENE (the built-in pattern by default). */
typedef int (*vscanner_scene_fn)(void* user, uint64_t frame, int width, int height,
                                 uint8_t* light);
VSCANNER_API int vscanner_set_scene(int dev, vscanner_scene_fn fn, void* user);

/* Frame source by name, as VSCANNER_SCENE: "pattern" or a finger scene
 * ("flat@3", "image:PATH", ...), drawn through the calibration record the
 * flash holds when it is selected or the stream starts. May be switched
 * while streaming; a finger scene's time counts from the stream's start.
 * -2 for an unknown name (the scene stays). */
VSCANNER_API int vscanner_set_scene_name(int dev, const char* name);

#ifdef __cplusplus
}

#include <dlfcn.h>
/* Looks a control function up in the loaded virtual scanner; null when the
 * process runs on the real libusb. */
#define VSCANNER_LOOKUP(fn) reinterpret_cast<decltype(&fn)>(dlsym(RTLD_DEFAULT, #fn))
#endif

#endif
