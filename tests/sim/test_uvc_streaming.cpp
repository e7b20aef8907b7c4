// Streaming through the unchanged libuvc: negotiation at each model's
// sensor size, payload assembly into whole frames, pacing, stop/restart,
// unplug mid-stream and the frame faults.
#include <deque>

#include "vscanner_test.h"

namespace {

struct ModelCase {
    const char* spec;
    uint16_t vid, pid;
    int width, height;
    uvc_frame_format format;
};

class Stream {
public:
    Stream(UvcContext& ctx, uint16_t vid, uint16_t pid) {
        dev_ = ctx.Find(vid, pid);
        if (dev_)
            openResult_ = uvc_open(dev_, &devh_);
    }
    // Closing stops the stream before the sinks go.
    ~Stream() {
        if (devh_)
            uvc_close(devh_);
        if (dev_)
            uvc_unref_device(dev_);
    }
    bool ok() const { return devh_ != nullptr; }
    uvc_device_handle_t* handle() const { return devh_; }
    // A frame sink that lives as long as the stream.
    FrameSink& NewSink() { return sinks_.emplace_back(); }

    uvc_error_t Start(int width, int height, FrameSink* sink,
                      uvc_frame_format format = UVC_FRAME_FORMAT_ANY) {
        uvc_stream_ctrl_t ctrl;
        const uvc_error_t r = uvc_get_stream_ctrl_format_size(devh_, &ctrl, format, width, height, 0);
        if (r != UVC_SUCCESS)
            return r;
        ctrl_ = ctrl;
        return uvc_start_streaming(devh_, &ctrl, FrameSink::OnFrame, sink, 0);
    }
    const uvc_stream_ctrl_t& ctrl() const { return ctrl_; }

private:
    uvc_device_t* dev_ = nullptr;
    uvc_device_handle_t* devh_ = nullptr;
    uvc_error_t openResult_ = UVC_SUCCESS;
    uvc_stream_ctrl_t ctrl_{};
    std::deque<FrameSink> sinks_;
};

void PrintTo(const ModelCase& m, std::ostream* os) {
    *os << m.spec;
}

class ModelStreaming : public testing::TestWithParam<ModelCase> {};

// Every model streams whole frames of its sensor size in its format.
TEST_P(ModelStreaming, DeliversWholeFramesAtSensorSize) {
    const ModelCase& m = GetParam();
    AttachDevices(m.spec, "15");
    UvcContext ctx;
    Stream s(ctx, m.vid, m.pid);
    ASSERT_TRUE(s.ok());
    FrameSink& sink = s.NewSink();
    ASSERT_EQ(s.Start(m.width, m.height, &sink), UVC_SUCCESS);
    EXPECT_EQ(s.ctrl().dwFrameInterval, 666667u);
    ASSERT_TRUE(sink.WaitFor(3));
    uvc_stop_streaming(s.handle());
    std::lock_guard<std::mutex> lock(sink.mu);
    EXPECT_EQ(sink.width, m.width);
    EXPECT_EQ(sink.height, m.height);
    EXPECT_EQ(sink.format, m.format);
    if (m.format == UVC_FRAME_FORMAT_YUYV) {
        ASSERT_EQ(sink.bytes, size_t(m.width) * size_t(m.height) * 2);
        // No colour in a fingerprint scanner's picture.
        EXPECT_EQ(sink.last[1], 128);
        EXPECT_EQ(sink.last[3], 128);
    } else {
        ASSERT_GT(sink.bytes, 4u);
        EXPECT_EQ(sink.last[0], 0xFF);
        EXPECT_EQ(sink.last[1], 0xD8); // SOI
        EXPECT_EQ(sink.last[sink.bytes - 2], 0xFF);
        EXPECT_EQ(sink.last[sink.bytes - 1], 0xD9); // EOI
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllModels, ModelStreaming,
    testing::Values(ModelCase{"8899:1001", 0x8899, 0x1001, 1424, 984, UVC_FRAME_FORMAT_YUYV},
                    ModelCase{"8899:1002", 0x8899, 0x1002, 1280, 720, UVC_FRAME_FORMAT_YUYV},
                    ModelCase{"7d45:3004", 0x7d45, 0x3004, 1280, 720, UVC_FRAME_FORMAT_YUYV},
                    ModelCase{"13d3:56ff", 0x13d3, 0x56ff, 1280, 720, UVC_FRAME_FORMAT_YUYV},
                    ModelCase{"5843:7884", 0x5843, 0x7884, 4096, 3072, UVC_FRAME_FORMAT_MJPEG},
                    ModelCase{"8899:1003", 0x8899, 0x1003, 2592, 1944, UVC_FRAME_FORMAT_YUYV},
                    ModelCase{"8899:1003/format=mjpeg", 0x8899, 0x1003, 2592, 1944, UVC_FRAME_FORMAT_MJPEG},
                    ModelCase{"8899:1002/format=mjpeg", 0x8899, 0x1002, 1280, 720, UVC_FRAME_FORMAT_MJPEG}),
    [](const testing::TestParamInfo<ModelCase>& info) {
        char name[32];
        std::snprintf(name, sizeof name, "%04x_%04x_%s", info.param.vid, info.param.pid,
                      info.param.format == UVC_FRAME_FORMAT_MJPEG ? "mjpeg" : "yuyv");
        return std::string(name);
    });

TEST(Streaming, FramesNeverComeFasterThanTheRate) {
    AttachDevices("8899:1002", "50");
    UvcContext ctx;
    Stream s(ctx, 0x8899, 0x1002);
    ASSERT_TRUE(s.ok());
    FrameSink& sink = s.NewSink();
    ASSERT_EQ(s.Start(1280, 720, &sink), UVC_SUCCESS);
    EXPECT_EQ(s.ctrl().dwFrameInterval, 200000u);
    ASSERT_TRUE(sink.WaitFor(1));
    // A busy machine only slows the stream: at most 50 frames per second in
    // the time taken, plus the one being sent at the start and one sent at
    // once to catch up.
    const auto start = std::chrono::steady_clock::now();
    const int64_t first = VS(vscanner_frames_sent)(0);
    ASSERT_TRUE(sink.WaitFor(sink.Count() + 10));
    const int64_t sent = VS(vscanner_frames_sent)(0) - first;
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LE(sent, 3 + std::chrono::duration_cast<std::chrono::milliseconds>(took).count() / 20);
}

TEST(Streaming, StopsAndRestarts) {
    AttachDevices("8899:1001", "30");
    UvcContext ctx;
    Stream s(ctx, 0x8899, 0x1001);
    ASSERT_TRUE(s.ok());
    for (int round = 0; round < 3; ++round) {
        FrameSink& sink = s.NewSink();
        ASSERT_EQ(s.Start(1424, 984, &sink), UVC_SUCCESS) << round;
        EXPECT_EQ(VS(vscanner_is_streaming)(0), 1);
        ASSERT_TRUE(sink.WaitFor(2)) << round;
        uvc_stop_streaming(s.handle());
        EXPECT_EQ(VS(vscanner_is_streaming)(0), 0);
    }
}

TEST(Streaming, SecondFormatIsNegotiatedByItsType) {
    AttachDevices("8899:1002/format=yuyv+mjpeg", "30");
    UvcContext ctx;
    Stream s(ctx, 0x8899, 0x1002);
    ASSERT_TRUE(s.ok());
    FrameSink& sink = s.NewSink();
    ASSERT_EQ(s.Start(1280, 720, &sink, UVC_FRAME_FORMAT_MJPEG), UVC_SUCCESS);
    ASSERT_TRUE(sink.WaitFor(1));
    uvc_stop_streaming(s.handle());
    int format = 0;
    VS(vscanner_stream_info)(0, &format, nullptr, nullptr, nullptr);
    EXPECT_EQ(format, 2);
    std::lock_guard<std::mutex> lock(sink.mu);
    EXPECT_EQ(sink.format, UVC_FRAME_FORMAT_MJPEG);
}

TEST(Streaming, UnplugEndsTheStreamCleanly) {
    AttachDevices("8899:1002", "30");
    UvcContext ctx;
    Stream s(ctx, 0x8899, 0x1002);
    ASSERT_TRUE(s.ok());
    FrameSink& sink = s.NewSink();
    ASSERT_EQ(s.Start(1280, 720, &sink), UVC_SUCCESS);
    ASSERT_TRUE(sink.WaitFor(2));
    ASSERT_EQ(VS(vscanner_unplug)(0), 0);
    EXPECT_EQ(VS(vscanner_is_streaming)(0), 0);
    const int64_t sent = VS(vscanner_frames_sent)(0);
    // Later requests fail; stop and close still return.
    int16_t brightness = 0;
    EXPECT_EQ(uvc_get_brightness(s.handle(), &brightness, UVC_GET_CUR), UVC_ERROR_NO_DEVICE);
    // Stopping joins the callback thread: what the host received before the
    // unplug has come out by then (however late on a busy machine), and
    // nothing more was sent or made up.
    uvc_stop_streaming(s.handle());
    EXPECT_LE(sink.Count(), sent);
    EXPECT_EQ(VS(vscanner_frames_sent)(0), sent);
    EXPECT_EQ(ctx.Find(0x8899, 0x1002), nullptr);

    // Replugged, it is a new device that streams again.
    ASSERT_EQ(VS(vscanner_replug)(0), 0);
    Stream again(ctx, 0x8899, 0x1002);
    ASSERT_TRUE(again.ok());
    FrameSink& sink2 = again.NewSink();
    ASSERT_EQ(again.Start(1280, 720, &sink2), UVC_SUCCESS);
    EXPECT_TRUE(sink2.WaitFor(2));
    uvc_stop_streaming(again.handle());
}

TEST(Streaming, NoFramesFaultSendsNothingUntilSwitchedOff) {
    AttachDevices("8899:1002", "30");
    VS(vscanner_set_fault)(0, VSCANNER_FAULT_NO_FRAMES, -1);
    UvcContext ctx;
    Stream s(ctx, 0x8899, 0x1002);
    ASSERT_TRUE(s.ok());
    FrameSink& sink = s.NewSink();
    ASSERT_EQ(s.Start(1280, 720, &sink), UVC_SUCCESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(sink.Count(), 0);
    VS(vscanner_set_fault)(0, VSCANNER_FAULT_NO_FRAMES, 0);
    EXPECT_TRUE(sink.WaitFor(1));
    uvc_stop_streaming(s.handle());
}

TEST(Streaming, ShortFramesArriveShortUntilSwitchedOff) {
    AttachDevices("8899:1002", "30");
    VS(vscanner_set_fault)(0, VSCANNER_FAULT_SHORT_FRAME, -1);
    UvcContext ctx;
    Stream s(ctx, 0x8899, 0x1002);
    ASSERT_TRUE(s.ok());
    FrameSink& sink = s.NewSink();
    ASSERT_EQ(s.Start(1280, 720, &sink), UVC_SUCCESS);
    // libuvc hands its callback the newest frame only, so a test sees a
    // fault reliably only while it lasts.
    auto lastSize = [&] {
        std::lock_guard<std::mutex> lock(sink.mu);
        return sink.frames > 0 ? sink.bytes : 0;
    };
    auto waitForSize = [&](size_t bytes) {
        const auto end = std::chrono::steady_clock::now() + kPatience;
        while (lastSize() != bytes && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return lastSize() == bytes;
    };
    EXPECT_TRUE(waitForSize(1280u * 720u));
    VS(vscanner_set_fault)(0, VSCANNER_FAULT_SHORT_FRAME, 0);
    EXPECT_TRUE(waitForSize(1280u * 720u * 2u));
}

} // namespace
