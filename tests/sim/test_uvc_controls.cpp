// Camera-terminal and processing-unit controls through libuvc: values are
// kept, unknown selectors stall, and the picture follows exposure, gain,
// brightness and contrast.
#include <libusb.h>

#include "vscanner_test.h"

namespace {

class OpenDevice {
public:
    explicit OpenDevice(uint16_t pid) {
        dev_ = ctx_.Find(0x8899, pid);
        if (dev_ && uvc_open(dev_, &devh_) != UVC_SUCCESS)
            devh_ = nullptr;
    }
    ~OpenDevice() {
        if (devh_)
            uvc_close(devh_);
        if (dev_)
            uvc_unref_device(dev_);
    }
    uvc_device_handle_t* h() const { return devh_; }

private:
    UvcContext ctx_;
    uvc_device_t* dev_ = nullptr;
    uvc_device_handle_t* devh_ = nullptr;
};

TEST(Controls, ValuesRoundTripAndShowInTheDeviceState) {
    AttachDevices("8899:1002");
    OpenDevice d(0x1002);
    ASSERT_NE(d.h(), nullptr);
    uvc_device_handle_t* h = d.h();

    ASSERT_EQ(uvc_set_brightness(h, -37), UVC_SUCCESS);
    int16_t brightness = 0;
    ASSERT_EQ(uvc_get_brightness(h, &brightness, UVC_GET_CUR), UVC_SUCCESS);
    EXPECT_EQ(brightness, -37);

    ASSERT_EQ(uvc_set_contrast(h, 60), UVC_SUCCESS);
    ASSERT_EQ(uvc_set_gain(h, 12), UVC_SUCCESS);
    ASSERT_EQ(uvc_set_gamma(h, 75), UVC_SUCCESS);
    ASSERT_EQ(uvc_set_saturation(h, 70), UVC_SUCCESS);
    ASSERT_EQ(uvc_set_white_balance_temperature(h, 4000), UVC_SUCCESS);
    ASSERT_EQ(uvc_set_white_balance_temperature_auto(h, 0), UVC_SUCCESS);
    ASSERT_EQ(uvc_set_ae_mode(h, 4), UVC_SUCCESS);
    ASSERT_EQ(uvc_set_exposure_abs(h, 312), UVC_SUCCESS);

    uint16_t contrast = 0, gain = 0, gamma = 0, wb = 0;
    uint32_t exposure = 0;
    uint8_t ae = 0;
    EXPECT_EQ(uvc_get_contrast(h, &contrast, UVC_GET_CUR), UVC_SUCCESS);
    EXPECT_EQ(uvc_get_gain(h, &gain, UVC_GET_CUR), UVC_SUCCESS);
    EXPECT_EQ(uvc_get_gamma(h, &gamma, UVC_GET_CUR), UVC_SUCCESS);
    EXPECT_EQ(uvc_get_white_balance_temperature(h, &wb, UVC_GET_CUR), UVC_SUCCESS);
    EXPECT_EQ(uvc_get_exposure_abs(h, &exposure, UVC_GET_CUR), UVC_SUCCESS);
    EXPECT_EQ(uvc_get_ae_mode(h, &ae, UVC_GET_CUR), UVC_SUCCESS);
    EXPECT_EQ(contrast, 60);
    EXPECT_EQ(gain, 12);
    EXPECT_EQ(gamma, 75);
    EXPECT_EQ(wb, 4000);
    EXPECT_EQ(exposure, 312u);
    EXPECT_EQ(ae, 4);

    int32_t v = 0;
    EXPECT_EQ(VS(vscanner_get_control)(0, VSCANNER_UNIT_PROCESSING, 0x02, &v), 0);
    EXPECT_EQ(v, -37);
    EXPECT_EQ(VS(vscanner_get_control)(0, VSCANNER_UNIT_PROCESSING, 0x07, &v), 0);
    EXPECT_EQ(v, 70);
    EXPECT_EQ(VS(vscanner_get_control)(0, VSCANNER_UNIT_PROCESSING, 0x0B, &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(VS(vscanner_get_control)(0, VSCANNER_UNIT_CAMERA, 0x04, &v), 0);
    EXPECT_EQ(v, 312);

    // A preset shows through the wire too.
    EXPECT_EQ(VS(vscanner_set_control)(0, VSCANNER_UNIT_PROCESSING, 0x04, 3), 0);
    EXPECT_EQ(uvc_get_gain(h, &gain, UVC_GET_CUR), UVC_SUCCESS);
    EXPECT_EQ(gain, 3);
}

TEST(Controls, RangesAndPowerUpDefaultsAreAnswered) {
    AttachDevices("8899:1001");
    OpenDevice d(0x1001);
    ASSERT_NE(d.h(), nullptr);
    int16_t b = 0;
    EXPECT_EQ(uvc_get_brightness(d.h(), &b, UVC_GET_MIN), UVC_SUCCESS);
    EXPECT_LT(b, 0);
    EXPECT_EQ(uvc_get_brightness(d.h(), &b, UVC_GET_DEF), UVC_SUCCESS);
    EXPECT_EQ(b, 95);
    uint16_t wb = 0;
    EXPECT_EQ(uvc_get_white_balance_temperature(d.h(), &wb, UVC_GET_MAX), UVC_SUCCESS);
    EXPECT_EQ(wb, 6500);
    uint32_t e = 0;
    EXPECT_EQ(uvc_get_exposure_abs(d.h(), &e, UVC_GET_CUR), UVC_SUCCESS);
    EXPECT_EQ(e, 39u);
}

TEST(Controls, UnknownSelectorsAndWrongLengthsStall) {
    AttachDevices("8899:1002");
    OpenDevice d(0x1002);
    ASSERT_NE(d.h(), nullptr);
    uint16_t sharpness = 0, hue = 0;
    EXPECT_EQ(uvc_get_sharpness(d.h(), &sharpness, UVC_GET_CUR), UVC_ERROR_PIPE);
    EXPECT_EQ(uvc_set_sharpness(d.h(), 3), UVC_ERROR_PIPE);
    int16_t h16 = 0;
    EXPECT_EQ(uvc_get_hue(d.h(), &h16, UVC_GET_CUR), UVC_ERROR_PIPE);
    (void)hue;
    uint32_t focus = 0;
    EXPECT_EQ(uvc_get_focus_abs(d.h(), reinterpret_cast<uint16_t*>(&focus), UVC_GET_CUR), UVC_ERROR_PIPE);

    libusb_device_handle* usb = uvc_get_libusb_handle(d.h());
    uint8_t data[4] = {0};
    // Brightness is 2 bytes; 4 is refused.
    EXPECT_EQ(libusb_control_transfer(usb, 0xA1, 0x81, 0x0200, 0x0200, data, 4, 100), LIBUSB_ERROR_PIPE);
    // SET_CUR as an IN request is refused.
    EXPECT_EQ(libusb_control_transfer(usb, 0xA1, 0x01, 0x0200, 0x0200, data, 2, 100), LIBUSB_ERROR_PIPE);
    // A unit that does not exist.
    EXPECT_EQ(libusb_control_transfer(usb, 0xA1, 0x81, 0x0200, 0x0900, data, 2, 100), LIBUSB_ERROR_PIPE);
}

TEST(Controls, StallAndTimeoutFaultsHitTheirTarget) {
    AttachDevices("8899:1002");
    OpenDevice d(0x1002);
    ASSERT_NE(d.h(), nullptr);
    VS(vscanner_set_control_fault)(0, VSCANNER_FAULT_CONTROL_STALL, -1, VSCANNER_UNIT_PROCESSING, 0x02);
    int16_t b = 0;
    uint16_t c = 0;
    EXPECT_EQ(uvc_get_brightness(d.h(), &b, UVC_GET_CUR), UVC_ERROR_PIPE);
    EXPECT_EQ(uvc_get_contrast(d.h(), &c, UVC_GET_CUR), UVC_SUCCESS);
    VS(vscanner_set_fault)(0, VSCANNER_FAULT_CONTROL_STALL, 0);
    EXPECT_EQ(uvc_get_brightness(d.h(), &b, UVC_GET_CUR), UVC_SUCCESS);

    VS(vscanner_set_fault)(0, VSCANNER_FAULT_CONTROL_TIMEOUT, 1);
    uint8_t data[2];
    libusb_device_handle* usb = uvc_get_libusb_handle(d.h());
    EXPECT_EQ(libusb_control_transfer(usb, 0xA1, 0x81, 0x0300, 0x0200, data, 2, 20), LIBUSB_ERROR_TIMEOUT);
    EXPECT_EQ(libusb_control_transfer(usb, 0xA1, 0x81, 0x0300, 0x0200, data, 2, 20), 2);
}

// Mean luminance of the next frames after a change.
class Picture {
public:
    Picture(OpenDevice& d, int w, int h) : d_(d) {
        uvc_stream_ctrl_t ctrl;
        ok_ = uvc_get_stream_ctrl_format_size(d.h(), &ctrl, UVC_FRAME_FORMAT_YUYV, w, h, 0) == UVC_SUCCESS &&
              uvc_start_streaming(d.h(), &ctrl, FrameSink::OnFrame, &sink_, 0) == UVC_SUCCESS;
    }
    ~Picture() { uvc_stop_streaming(d_.h()); }
    bool ok() const { return ok_; }

    // Luma mean and spread (mean absolute deviation) of a frame the device
    // began after the call. The frame it was sending may have begun before,
    // and libuvc may still hand over older ones: the frame is known by
    // libuvc's sequence number, which never runs ahead of the frames sent.
    std::pair<double, double> Measure() {
        const int64_t after = VS(vscanner_frames_sent)(0);
        const auto end = std::chrono::steady_clock::now() + kPatience;
        auto fresh = [&] {
            std::lock_guard<std::mutex> lock(sink_.mu);
            return sink_.frames > 0 && int64_t(sink_.sequence) >= after + 2;
        };
        while (!fresh() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_TRUE(fresh()) << "no frame begun after the change";
        std::lock_guard<std::mutex> lock(sink_.mu);
        double sum = 0;
        const size_t n = sink_.last.size() / 2;
        for (size_t i = 0; i < n; ++i)
            sum += sink_.last[2 * i];
        const double mean = sum / double(n ? n : 1);
        double dev = 0;
        for (size_t i = 0; i < n; ++i)
            dev += std::abs(sink_.last[2 * i] - mean);
        return {mean, dev / double(n ? n : 1)};
    }

private:
    OpenDevice& d_;
    FrameSink sink_;
    bool ok_ = false;
};

TEST(Controls, PixelsFollowExposureGainBrightnessAndContrast) {
    AttachDevices("8899:1002", "60");
    ASSERT_EQ(VS(vscanner_set_scene_name)(0, "pattern"), 0);
    OpenDevice d(0x1002);
    ASSERT_NE(d.h(), nullptr);
    Picture pic(d, 1280, 720);
    ASSERT_TRUE(pic.ok());
    const auto base = pic.Measure();

    ASSERT_EQ(uvc_set_exposure_abs(d.h(), 156), UVC_SUCCESS); // half the light
    const auto dim = pic.Measure();
    EXPECT_LT(dim.first, base.first - 20);
    ASSERT_EQ(uvc_set_exposure_abs(d.h(), 312), UVC_SUCCESS);
    ASSERT_EQ(uvc_set_gain(d.h(), 6), UVC_SUCCESS);
    EXPECT_GT(pic.Measure().first, base.first + 20);
    ASSERT_EQ(uvc_set_gain(d.h(), 4), UVC_SUCCESS);
    ASSERT_EQ(uvc_set_brightness(d.h(), 182 - 30), UVC_SUCCESS);
    const auto darker = pic.Measure();
    EXPECT_NEAR(darker.first, base.first - 30, 6);
    ASSERT_EQ(uvc_set_brightness(d.h(), 182), UVC_SUCCESS);
    ASSERT_EQ(uvc_set_contrast(d.h(), 30), UVC_SUCCESS);
    const auto flat = pic.Measure();
    EXPECT_LT(flat.second, base.second * 0.7);
    ASSERT_EQ(uvc_set_contrast(d.h(), 60), UVC_SUCCESS);
    const auto back = pic.Measure();
    EXPECT_NEAR(back.first, base.first, 0.5);
}

TEST(Controls, WorkWhileStreaming) {
    AttachDevices("8899:1001", "30");
    OpenDevice d(0x1001);
    ASSERT_NE(d.h(), nullptr);
    Picture pic(d, 1424, 984);
    ASSERT_TRUE(pic.ok());
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(uvc_set_brightness(d.h(), int16_t(i)), UVC_SUCCESS);
        int16_t b = -1;
        ASSERT_EQ(uvc_get_brightness(d.h(), &b, UVC_GET_CUR), UVC_SUCCESS);
        ASSERT_EQ(b, i);
    }
    EXPECT_GT(pic.Measure().first, 0.0);
}

} // namespace
