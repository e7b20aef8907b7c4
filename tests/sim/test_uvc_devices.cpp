// Enumeration, descriptors, opening and several contexts, as libuvc sees them.
#include "vscanner_test.h"

namespace {

TEST(Devices, DefaultIsOneType5ScannerStreamingYuyvAt10Fps) {
    unsetenv("VSCANNER_DEVICES");
    unsetenv("VSCANNER_FPS");
    unsetenv("VSCANNER_FORMAT");
    ASSERT_EQ(VS(vscanner_reset)(nullptr), 1);
    UvcContext ctx;
    uvc_device_t* dev = ctx.Find(0x8899, 0x1003);
    ASSERT_NE(dev, nullptr);
    uvc_device_handle_t* devh = nullptr;
    ASSERT_EQ(uvc_open(dev, &devh), UVC_SUCCESS);
    uvc_stream_ctrl_t ctrl;
    ASSERT_EQ(uvc_get_stream_ctrl_format_size(devh, &ctrl, UVC_FRAME_FORMAT_YUYV, 2592, 1944, 10), UVC_SUCCESS);
    EXPECT_EQ(ctrl.dwFrameInterval, 1000000u);
    EXPECT_EQ(ctrl.dwMaxVideoFrameSize, 2592u * 1944u * 2u);
    EXPECT_EQ(VS(vscanner_device_type)(0), 5);
    uvc_close(devh);
    uvc_unref_device(dev);
}

TEST(Devices, EveryModelIsListedWithItsStrings) {
    AttachDevices("8899:1001,8899:1002,7d45:3004,13d3:56ff,5843:7884,8899:1003/serial=SER5");
    UvcContext ctx;
    uvc_device_t** list = nullptr;
    ASSERT_EQ(uvc_get_device_list(ctx.get(), &list), UVC_SUCCESS);
    const uint16_t ids[][2] = {{0x8899, 0x1001}, {0x8899, 0x1002}, {0x7d45, 0x3004},
                               {0x13d3, 0x56ff}, {0x5843, 0x7884}, {0x8899, 0x1003}};
    int n = 0;
    for (; list[n]; ++n) {
        ASSERT_LT(n, 6);
        uvc_device_descriptor_t* d = nullptr;
        ASSERT_EQ(uvc_get_device_descriptor(list[n], &d), UVC_SUCCESS);
        EXPECT_EQ(d->idVendor, ids[n][0]);
        EXPECT_EQ(d->idProduct, ids[n][1]);
        ASSERT_NE(d->product, nullptr);
        char id[16];
        std::snprintf(id, sizeof id, "%04x:%04x", ids[n][0], ids[n][1]);
        EXPECT_NE(std::string(d->product).find(id), std::string::npos) << d->product;
        ASSERT_NE(d->serialNumber, nullptr);
        if (n == 5)
            EXPECT_STREQ(d->serialNumber, "SER5");
        else
            EXPECT_EQ(std::string(d->serialNumber).substr(0, 2), "VS");
        uvc_free_device_descriptor(d);
    }
    EXPECT_EQ(n, 6);
    uvc_free_device_list(list, 1);
    // Reading descriptors opened and closed each device once.
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(VS(vscanner_open_count)(i), 1);
        EXPECT_EQ(VS(vscanner_open_handles)(i), 0);
    }
}

TEST(Devices, DescriptorsParseIntoTheVideoTopology) {
    AttachDevices("8899:1001", "30");
    UvcContext ctx;
    uvc_device_t* dev = ctx.Find(0x8899, 0x1001);
    ASSERT_NE(dev, nullptr);
    uvc_device_handle_t* devh = nullptr;
    ASSERT_EQ(uvc_open(dev, &devh), UVC_SUCCESS);

    const uvc_input_terminal_t* it = uvc_get_input_terminals(devh);
    ASSERT_NE(it, nullptr);
    EXPECT_EQ(it->bTerminalID, 1);
    EXPECT_EQ(it->wTerminalType, UVC_ITT_CAMERA);
    EXPECT_EQ(it->bmControls, 0x0Au);
    const uvc_processing_unit_t* pu = uvc_get_processing_units(devh);
    ASSERT_NE(pu, nullptr);
    EXPECT_EQ(pu->bUnitID, 2);
    EXPECT_EQ(pu->bmControls, 0x126Bu);
    const uvc_extension_unit_t* xu = uvc_get_extension_units(devh);
    ASSERT_NE(xu, nullptr);
    EXPECT_EQ(xu->bUnitID, 3);
    ASSERT_NE(xu->next, nullptr);
    EXPECT_EQ(xu->next->bUnitID, 4);

    const uvc_format_desc_t* f = uvc_get_format_descs(devh);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->bDescriptorSubtype, UVC_VS_FORMAT_UNCOMPRESSED);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f->fourccFormat), 4), "YUY2");
    EXPECT_EQ(f->next, nullptr);
    ASSERT_NE(f->frame_descs, nullptr);
    EXPECT_EQ(f->frame_descs->wWidth, 1424);
    EXPECT_EQ(f->frame_descs->wHeight, 984);
    ASSERT_NE(f->frame_descs->intervals, nullptr);
    EXPECT_EQ(f->frame_descs->intervals[0], 333333u);
    EXPECT_EQ(f->frame_descs->intervals[1], 0u);
    // A size the device does not offer is refused.
    uvc_stream_ctrl_t ctrl;
    EXPECT_EQ(uvc_get_stream_ctrl_format_size(devh, &ctrl, UVC_FRAME_FORMAT_ANY, 640, 480, 0),
              UVC_ERROR_INVALID_MODE);
    uvc_close(devh);
    uvc_unref_device(dev);
}

TEST(Devices, FormatsAppearInTheConfiguredOrder) {
    AttachDevices("8899:1002/format=mjpeg+yuyv");
    UvcContext ctx;
    uvc_device_t* dev = ctx.Find(0x8899, 0x1002);
    ASSERT_NE(dev, nullptr);
    uvc_device_handle_t* devh = nullptr;
    ASSERT_EQ(uvc_open(dev, &devh), UVC_SUCCESS);
    const uvc_format_desc_t* f = uvc_get_format_descs(devh);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->bDescriptorSubtype, UVC_VS_FORMAT_MJPEG);
    ASSERT_NE(f->next, nullptr);
    EXPECT_EQ(f->next->bDescriptorSubtype, UVC_VS_FORMAT_UNCOMPRESSED);
    // "Any format" takes the first one that fits: MJPEG here.
    uvc_stream_ctrl_t ctrl;
    ASSERT_EQ(uvc_get_stream_ctrl_format_size(devh, &ctrl, UVC_FRAME_FORMAT_ANY, 1280, 720, 0), UVC_SUCCESS);
    EXPECT_EQ(ctrl.bFormatIndex, 1);
    ASSERT_EQ(uvc_get_stream_ctrl_format_size(devh, &ctrl, UVC_FRAME_FORMAT_YUYV, 1280, 720, 0), UVC_SUCCESS);
    EXPECT_EQ(ctrl.bFormatIndex, 2);
    uvc_close(devh);
    uvc_unref_device(dev);
}

TEST(Devices, GreyAndUyvyStreamsAreOffered) {
    AttachDevices("8899:1002/format=gray8,8899:1001/format=uyvy", "30");
    const struct {
        uint16_t pid;
        int w, h;
        uvc_frame_format format;
        size_t bpp;
    } cases[] = {{0x1002, 1280, 720, UVC_FRAME_FORMAT_GRAY8, 1}, {0x1001, 1424, 984, UVC_FRAME_FORMAT_UYVY, 2}};
    for (const auto& c : cases) {
        // libuvc 0.0.6 never restarts a context's event thread once its
        // last device closed: each device gets a context of its own.
        UvcContext ctx;
        uvc_device_t* dev = ctx.Find(0x8899, c.pid);
        ASSERT_NE(dev, nullptr);
        uvc_device_handle_t* devh = nullptr;
        ASSERT_EQ(uvc_open(dev, &devh), UVC_SUCCESS);
        uvc_stream_ctrl_t ctrl;
        ASSERT_EQ(uvc_get_stream_ctrl_format_size(devh, &ctrl, UVC_FRAME_FORMAT_ANY, c.w, c.h, 0), UVC_SUCCESS);
        FrameSink sink;
        ASSERT_EQ(uvc_start_streaming(devh, &ctrl, FrameSink::OnFrame, &sink, 0), UVC_SUCCESS);
        EXPECT_TRUE(sink.WaitFor(1));
        uvc_stop_streaming(devh);
        {
            std::lock_guard<std::mutex> lock(sink.mu);
            EXPECT_EQ(sink.format, c.format);
            EXPECT_EQ(sink.bytes, size_t(c.w) * size_t(c.h) * c.bpp);
        }
        uvc_close(devh);
        uvc_unref_device(dev);
    }
}

TEST(Devices, OpenRefusedWithAccess) {
    AttachDevices("8899:1002");
    VS(vscanner_set_fault)(0, VSCANNER_FAULT_OPEN_ACCESS, -1);
    UvcContext ctx;
    uvc_device_t** list = nullptr;
    ASSERT_EQ(uvc_get_device_list(ctx.get(), &list), UVC_SUCCESS);
    ASSERT_NE(list[0], nullptr);
    uvc_device_handle_t* devh = nullptr;
    EXPECT_EQ(uvc_open(list[0], &devh), UVC_ERROR_ACCESS);
    uvc_free_device_list(list, 1);
    EXPECT_EQ(VS(vscanner_open_count)(0), 0);
}

TEST(Devices, ClaimFaultFailsTheOpen) {
    AttachDevices("8899:1002");
    VS(vscanner_set_fault)(0, VSCANNER_FAULT_CLAIM_BUSY, 1);
    UvcContext ctx;
    uvc_device_t* dev = ctx.Find(0x8899, 0x1002);
    ASSERT_NE(dev, nullptr);
    uvc_device_handle_t* devh = nullptr;
    EXPECT_EQ(uvc_open(dev, &devh), UVC_ERROR_BUSY);
    EXPECT_EQ(VS(vscanner_open_handles)(0), 0);
    // One hit only: the next open works.
    ASSERT_EQ(uvc_open(dev, &devh), UVC_SUCCESS);
    EXPECT_EQ(VS(vscanner_claimed)(0) & 1, 1);
    uvc_close(devh);
    EXPECT_EQ(VS(vscanner_claimed)(0), 0);
    uvc_unref_device(dev);
}

TEST(Devices, TwoContextsWorkAtOnce) {
    AttachDevices("8899:1002/serial=AAA,8899:1002/serial=BBB", "30");
    UvcContext a, b;
    uvc_device_t* devA = a.Find(0x8899, 0x1002, 0);
    ASSERT_NE(devA, nullptr);
    uvc_device_handle_t* hA = nullptr;
    ASSERT_EQ(uvc_open(devA, &hA), UVC_SUCCESS);
    uvc_stream_ctrl_t ctrl;
    ASSERT_EQ(uvc_get_stream_ctrl_format_size(hA, &ctrl, UVC_FRAME_FORMAT_ANY, 1280, 720, 0), UVC_SUCCESS);
    FrameSink sinkA;
    ASSERT_EQ(uvc_start_streaming(hA, &ctrl, FrameSink::OnFrame, &sinkA, 0), UVC_SUCCESS);
    StopStreamOnExit stopA(hA);
    ASSERT_TRUE(sinkA.WaitFor(1));

    // The second context lists both (opening the streaming one for its
    // strings) and streams the other device.
    uvc_device_t* devB = b.Find(0x8899, 0x1002, 1);
    ASSERT_NE(devB, nullptr);
    uvc_device_t* streaming = b.Find(0x8899, 0x1002, 0);
    EXPECT_NE(streaming, nullptr);
    uvc_unref_device(streaming);
    uvc_device_handle_t* hB = nullptr;
    ASSERT_EQ(uvc_open(devB, &hB), UVC_SUCCESS);
    ASSERT_EQ(uvc_get_stream_ctrl_format_size(hB, &ctrl, UVC_FRAME_FORMAT_ANY, 1280, 720, 0), UVC_SUCCESS);
    FrameSink sinkB;
    ASSERT_EQ(uvc_start_streaming(hB, &ctrl, FrameSink::OnFrame, &sinkB, 0), UVC_SUCCESS);
    StopStreamOnExit stopB(hB);
    const int before = sinkA.Count();
    EXPECT_TRUE(sinkB.WaitFor(3));
    EXPECT_TRUE(sinkA.WaitFor(before + 3));
    EXPECT_EQ(VS(vscanner_is_streaming)(0) + VS(vscanner_is_streaming)(1), 2);

    stopB.Stop();
    uvc_close(hB);
    uvc_unref_device(devB);
    stopA.Stop();
    uvc_close(hA);
    uvc_unref_device(devA);
    EXPECT_EQ(VS(vscanner_open_handles)(0) + VS(vscanner_open_handles)(1), 0);
}

TEST(Devices, SecondOpenOfAClaimedDeviceIsBusy) {
    AttachDevices("8899:1001");
    UvcContext a, b;
    uvc_device_t* devA = a.Find(0x8899, 0x1001);
    uvc_device_t* devB = b.Find(0x8899, 0x1001);
    ASSERT_NE(devA, nullptr);
    ASSERT_NE(devB, nullptr);
    uvc_device_handle_t* hA = nullptr;
    uvc_device_handle_t* hB = nullptr;
    ASSERT_EQ(uvc_open(devA, &hA), UVC_SUCCESS);
    EXPECT_EQ(uvc_open(devB, &hB), UVC_ERROR_BUSY);
    uvc_close(hA);
    ASSERT_EQ(uvc_open(devB, &hB), UVC_SUCCESS);
    uvc_close(hB);
    uvc_unref_device(devA);
    uvc_unref_device(devB);
}

} // namespace
