// The VSCANNER_* configuration as a process sees it at start.
#include <libusb.h>

#include "vscanner_test.h"

namespace {

std::string Serial(libusb_context* ctx, uint16_t pid, int nth) {
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(ctx, &list);
    std::string serial;
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor d;
        libusb_get_device_descriptor(list[i], &d);
        if (d.idProduct != pid || nth-- != 0)
            continue;
        libusb_device_handle* h = nullptr;
        if (libusb_open(list[i], &h) == 0) {
            unsigned char s[64];
            if (libusb_get_string_descriptor_ascii(h, d.iSerialNumber, s, sizeof s) > 0)
                serial = reinterpret_cast<char*>(s);
            libusb_close(h);
        }
        break;
    }
    libusb_free_device_list(list, 1);
    return serial;
}

TEST(Configuration, DevicesCarryTheirOwnOptions) {
    setenv("VSCANNER_FPS", "25", 1);
    setenv("VSCANNER_FAULTS", "open_access", 1);
    ASSERT_EQ(VS(vscanner_reset)("8899:1002,8899:1002/serial=B2/fps=7.5/faults=no_frames+flash_crc,1234:5678,"
                                 "8899:1001/format=mjpeg+yuyv/bogus"),
              3);
    unsetenv("VSCANNER_FAULTS");
    libusb_context* ctx = nullptr;
    ASSERT_EQ(libusb_init(&ctx), 0);
    // Every device got the global open fault.
    EXPECT_EQ(Serial(ctx, 0x1002, 0), "");
    for (int dev = 0; dev < 3; ++dev)
        VS(vscanner_set_fault)(dev, VSCANNER_FAULT_OPEN_ACCESS, 0);
    EXPECT_EQ(Serial(ctx, 0x1002, 0), "VS1002D0");
    EXPECT_EQ(Serial(ctx, 0x1002, 1), "B2");
    libusb_exit(ctx);

    UvcContext uvc;
    uvc_device_t* dev = uvc.Find(0x8899, 0x1002, 1);
    ASSERT_NE(dev, nullptr);
    uvc_device_handle_t* devh = nullptr;
    ASSERT_EQ(uvc_open(dev, &devh), UVC_SUCCESS);
    uvc_stream_ctrl_t ctrl;
    ASSERT_EQ(uvc_get_stream_ctrl_format_size(devh, &ctrl, UVC_FRAME_FORMAT_ANY, 1280, 720, 0), UVC_SUCCESS);
    EXPECT_EQ(ctrl.dwFrameInterval, 1333333u);
    uvc_close(devh);
    uvc_unref_device(dev);

    dev = uvc.Find(0x8899, 0x1001);
    ASSERT_NE(dev, nullptr);
    ASSERT_EQ(uvc_open(dev, &devh), UVC_SUCCESS);
    const uvc_format_desc_t* f = uvc_get_format_descs(devh);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->bDescriptorSubtype, UVC_VS_FORMAT_MJPEG);
    ASSERT_EQ(uvc_get_stream_ctrl_format_size(devh, &ctrl, UVC_FRAME_FORMAT_ANY, 1424, 984, 0), UVC_SUCCESS);
    EXPECT_EQ(ctrl.dwFrameInterval, 400000u);
    uvc_close(devh);
    uvc_unref_device(dev);
}

TEST(Configuration, FlashComesFromTheFactoryUnlessBlankIsAskedFor) {
    // Each device as it leaves the factory: its serial (the USB one filled
    // up with zeros), its settings and its optics' calibration.
    unsetenv("VSCANNER_FLASH");
    ASSERT_EQ(VS(vscanner_reset)("8899:1003,8899:1001/serial=A-7/flash=blank,8899:1002/serial=X9/flash=factory"), 3);
    uint8_t b[24];
    ASSERT_EQ(VS(vscanner_read_flash)(0, 0x20800, b, 24), 0);
    EXPECT_EQ(std::string(b, b + 16), "VS1003D000000000");
    EXPECT_EQ(b[16] | b[17] << 8, 2024);
    ASSERT_EQ(VS(vscanner_read_flash)(0, 0x20820, b, 2), 0);
    EXPECT_EQ(std::string(b, b + 2), "FS");
    ASSERT_EQ(VS(vscanner_read_flash)(0, 0x2001A, b, 2), 0);
    EXPECT_EQ(std::string(b, b + 2), "AB");
    ASSERT_EQ(VS(vscanner_read_flash)(2, 0x20040, b, 16), 0);
    EXPECT_EQ(std::string(b, b + 16), "X900000000000000");
    // Asked for blank, it holds nothing.
    for (uint32_t at : {0xCA000u, 0xCA040u, 0xCA080u}) {
        ASSERT_EQ(VS(vscanner_read_flash)(1, at, b, 1), 0);
        EXPECT_EQ(b[0], 0xFF) << at;
    }
    setenv("VSCANNER_FLASH", "blank", 1);
    ASSERT_EQ(VS(vscanner_reset)("8899:1003"), 1);
    unsetenv("VSCANNER_FLASH");
    ASSERT_EQ(VS(vscanner_read_flash)(0, 0x20800, b, 1), 0);
    EXPECT_EQ(b[0], 0xFF);
}

TEST(Configuration, FlashFileIsReadAtStart) {
    const std::string path = TempPath("config.bin");
    {
        std::vector<uint8_t> image(1000, 0x5A); // a short image: the rest stays blank
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(image.data(), 1, image.size(), f);
        std::fclose(f);
    }
    setenv("VSCANNER_FLASH", path.c_str(), 1);
    ASSERT_EQ(VS(vscanner_reset)("8899:1001,8899:1001"), 2);
    unsetenv("VSCANNER_FLASH");
    uint8_t b[2];
    ASSERT_EQ(VS(vscanner_read_flash)(0, 999, b, 2), 0);
    EXPECT_EQ(b[0], 0x5A);
    EXPECT_EQ(b[1], 0xFF);
    // The variable is device 0's; the second starts as from the factory,
    // nothing there.
    ASSERT_EQ(VS(vscanner_read_flash)(1, 0, b, 1), 0);
    EXPECT_EQ(b[0], 0xFF);
    EXPECT_EQ(VS(vscanner_read_flash)(0, (4u << 20) - 1, b, 2), -1);
    std::remove(path.c_str());
}

} // namespace
