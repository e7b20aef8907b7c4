// Scenes chosen by name: the finger scenes of sim/fingers rendered by the
// device itself, through the calibration record its flash holds, selected
// at start (VSCANNER_SCENE) or while streaming (vscanner_set_scene_name).
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "calib_record_writer.h"
#include "finger_scene_source.h"
#include "operator_scene_source.h"
#include "vscanner_test.h"

namespace sim = belnor::sim;

// This program plays the host's capture library for the operator, who reads
// the capture window off its export: 0 x 0 while none is open.
static std::atomic<int> g_windowWidth{0}, g_windowHeight{0};

extern "C" __attribute__((visibility("default"))) int LIVESCAN_GetCaptWindow(int, int* x, int* y, int* width,
                                                                           int* height) {
    if (g_windowWidth == 0)
        return -5;
    *x = *y = 0;
    *width = g_windowWidth;
    *height = g_windowHeight;
    return 1;
}

namespace {

// Device 0 streaming YUYV through plain libuvc.
class Stream {
public:
    Stream(int width, int height) {
        list_ = nullptr;
        EXPECT_EQ(uvc_get_device_list(ctx_.get(), &list_), UVC_SUCCESS);
        EXPECT_EQ(uvc_open(list_[0], &devh_), UVC_SUCCESS);
        uvc_stream_ctrl_t ctrl;
        EXPECT_EQ(uvc_get_stream_ctrl_format_size(devh_, &ctrl, UVC_FRAME_FORMAT_YUYV, width, height, 0),
                  UVC_SUCCESS);
        EXPECT_EQ(uvc_start_streaming(devh_, &ctrl, FrameSink::OnFrame, &sink, 0), UVC_SUCCESS);
    }
    ~Stream() { Stop(); }

    // Stops and gives the luma of the last frame.
    std::vector<uint8_t> Stop() {
        if (devh_) {
            uvc_stop_streaming(devh_);
            uvc_close(devh_);
            uvc_free_device_list(list_, 1);
            devh_ = nullptr;
        }
        std::lock_guard<std::mutex> lock(sink.mu);
        std::vector<uint8_t> y(sink.last.size() / 2);
        for (size_t i = 0; i < y.size(); ++i)
            y[i] = sink.last[2 * i];
        return y;
    }

    FrameSink sink;

private:
    UvcContext ctx_;
    uvc_device_t** list_ = nullptr;
    uvc_device_handle_t* devh_ = nullptr;
};

// Waits until the device has sent this many frames in all.
bool WaitForSent(int64_t n) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (VS(vscanner_frames_sent)(0) < n && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return VS(vscanner_frames_sent)(0) >= n;
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int most = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        most = std::max(most, std::abs(int(a[i]) - int(b[i])));
    return a.size() == b.size() ? most : 256;
}

// The frame number (0..last) whose light the source renders as the
// delivered picture, or -1. Power-up camera settings pass light unchanged.
int64_t MatchingFrame(const std::vector<uint8_t>& luma, sim::FingerSceneSource& source, int64_t last) {
    const int w = source.optics().sensorWidth(), h = source.optics().sensorHeight();
    std::vector<uint8_t> light(size_t(w) * size_t(h));
    for (int64_t k = last; k >= 0; --k) {
        if (!sim::FingerSceneSource::Render(&source, uint64_t(k), w, h, light.data()))
            return -1;
        if (MaxDifference(luma, light) <= 1)
            return k;
    }
    return -1;
}

sim::SceneSpec Spec(const char* text) {
    sim::SceneSpec spec;
    EXPECT_TRUE(sim::ParseSceneSpec(text, &spec)) << text;
    return spec;
}

TEST(SceneNames, SelectedWhileStreamingShowsThatFingerScene) {
    // A slow rate: scene time goes by frames, and sanitizers render slowly.
    AttachDevices("8899:1002", "5");
    Stream stream(1280, 720);
    ASSERT_TRUE(stream.sink.WaitFor(2));
    ASSERT_EQ(VS(vscanner_set_scene_name)(0, "flat@3"), 0);
    // On a busy machine frames drawn before the switch may still be on their
    // way to the host: the picture kept must come after all of them.
    const int64_t sentAtSwitch = VS(vscanner_frames_sent)(0);
    // Names that do not parse are refused and leave flat@3 showing.
    EXPECT_EQ(VS(vscanner_set_scene_name)(0, "flat@x"), -2);
    EXPECT_EQ(VS(vscanner_set_scene_name)(0, "no-such-scene"), -2);
    EXPECT_EQ(VS(vscanner_set_scene_name)(0, ""), -2);
    EXPECT_EQ(VS(vscanner_set_scene_name)(0, nullptr), -2);
    EXPECT_EQ(VS(vscanner_set_scene_name)(1, "flat@3"), -1);
    // Past the pressing down (700 ms at 5 fps), before the lift.
    ASSERT_TRUE(WaitForSent(8));
    ASSERT_TRUE(stream.sink.WaitFor(int(sentAtSwitch) + 2));
    const std::vector<uint8_t> luma = stream.Stop();
    ASSERT_EQ(luma.size(), 1280u * 720u);

    sim::FingerSceneSource source(Spec("flat@3"), 2, {}, 5);
    const int64_t k = MatchingFrame(luma, source, VS(vscanner_frames_sent)(0) + 2);
    ASSERT_GE(k, 0);
    EXPECT_TRUE(source.scene().FingerPresent(source.FrameTimeMs(uint64_t(k))));
}

TEST(SceneNames, EnvironmentChoosesTheSceneDrawnThroughTheFlashRecord) {
    setenv("VSCANNER_DEVICES", "8899:1001", 1);
    setenv("VSCANNER_FPS", "5", 1);
    setenv("VSCANNER_SCENE", "slap-right@7", 1);
    ASSERT_EQ(VS(vscanner_reset)(nullptr), 1);
    // Written after the device exists but before the stream starts, as a
    // test prepares a scanner before the library's init.
    const auto record = sim::EncodeCalibRecord(sim::TranslationGrid(640, 640, 392, 172), 1424, 984);
    ASSERT_EQ(VS(vscanner_write_flash)(0, 0xCA080, record.data(), uint32_t(record.size())), 0);
    Stream stream(1424, 984);
    ASSERT_TRUE(WaitForSent(6));
    const std::vector<uint8_t> luma = stream.Stop();
    ASSERT_EQ(luma.size(), 1424u * 984u);

    sim::FingerSceneSource source(Spec("slap-right@7"), 1, record, 5);
    const int64_t k = MatchingFrame(luma, source, VS(vscanner_frames_sent)(0) + 2);
    ASSERT_GE(k, 0);
    EXPECT_TRUE(source.scene().FingerPresent(source.FrameTimeMs(uint64_t(k))));
    // The built-in optics would have put the fingers elsewhere.
    sim::FingerSceneSource builtin(Spec("slap-right@7"), 1, {}, 5);
    std::vector<uint8_t> light(luma.size());
    sim::FingerSceneSource::Render(&builtin, uint64_t(k), 1424, 984, light.data());
    EXPECT_GT(MaxDifference(luma, light), 50);
}

int Grey(void*, uint64_t, int width, int height, uint8_t* light) {
    std::memset(light, 90, size_t(width) * size_t(height));
    return 1;
}

TEST(SceneNames, SwitchingRepeatedlyWhileStreamingKeepsFramesComing) {
    AttachDevices("8899:1002", "60");
    Stream stream(1280, 720);
    ASSERT_TRUE(stream.sink.WaitFor(1));
    const char* const names[] = {"flat@1", "roll@2", "pattern", "thumbs", "empty", "flat-moving@1", "slap-left"};
    for (int i = 0; i < 42; ++i) {
        ASSERT_EQ(VS(vscanner_set_scene_name)(0, names[i % 7]), 0);
        if (i % 6 == 5) {
            ASSERT_EQ(VS(vscanner_set_scene)(0, i % 12 == 5 ? Grey : nullptr, nullptr), 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    const int before = stream.sink.Count();
    EXPECT_TRUE(stream.sink.WaitFor(before + 3));
}

// Waits until the latest frame's luma is the picture (within 1 grey level).
bool WaitForPicture(FrameSink& sink, const std::vector<uint8_t>& picture) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end) {
        {
            std::lock_guard<std::mutex> lock(sink.mu);
            bool same = sink.last.size() == 2 * picture.size();
            for (size_t i = 0; same && i < picture.size(); ++i)
                same = std::abs(int(sink.last[2 * i]) - int(picture[i])) <= 1;
            if (same)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(SceneNames, TheOperatorIsTheDefaultAndBringsTheHandOfTheLampLit) {
    unsetenv("VSCANNER_SCENE");
    AttachDevices("8899:1001", "10");
    // The same operator (seed 1) drawn here; every state is one still picture.
    std::atomic<int> none{0};
    sim::OperatorSceneSource operatorScene(1, 1, {}, 10, &none);
    const sim::OperatorState left{sim::OperatorPose::kLeftFour, 0}, thumbs{sim::OperatorPose::kThumbs, 0},
        right{sim::OperatorPose::kRightFour, 0}, resting{sim::OperatorPose::kResting, 0};
    std::vector<std::vector<uint8_t>> pictures;
    for (const sim::OperatorState& s : {left, thumbs, right, resting}) {
        ASSERT_TRUE(operatorScene.WaitDrawn(s, std::chrono::minutes(2)));
        pictures.emplace_back(1424u * 984u);
        ASSERT_TRUE(operatorScene.Compose(s, pictures.back().data()));
    }
    Stream stream(1424, 984);
    // The lamp registers as the capture library writes them.
    VS(vscanner_set_register)(0, 0x2043, 0x02);
    EXPECT_TRUE(WaitForPicture(stream.sink, pictures[0])) << "left four";
    VS(vscanner_set_register)(0, 0x2043, 0x08);
    EXPECT_TRUE(WaitForPicture(stream.sink, pictures[1])) << "thumbs";
    VS(vscanner_set_register)(0, 0x2043, 0x00);
    VS(vscanner_set_register)(0, 0x204C, 0x03);
    EXPECT_TRUE(WaitForPicture(stream.sink, pictures[2])) << "right four";
    // All off: the single finger comes back to rest within a cycle.
    VS(vscanner_set_register)(0, 0x204C, 0x02);
    EXPECT_TRUE(WaitForPicture(stream.sink, pictures[3])) << "resting";
}

TEST(SceneNames, WithNoLampLitTheOperatorLaysTheLeftFourInTheSlapWindowAndRollsInOthers) {
    unsetenv("VSCANNER_SCENE");
    AttachDevices("8899:1003", "10");
    std::atomic<int> none{0};
    sim::OperatorSceneSource operatorScene(1, 5, {}, 10, &none);
    std::vector<std::vector<uint8_t>> pictures;
    for (const sim::OperatorPose pose :
         {sim::OperatorPose::kLeftFour, sim::OperatorPose::kThumbs, sim::OperatorPose::kResting}) {
        ASSERT_TRUE(operatorScene.WaitDrawn({pose, 0}, std::chrono::minutes(2)));
        pictures.emplace_back(2592u * 1944u);
        ASSERT_TRUE(operatorScene.Compose({pose, 0}, pictures.back().data()));
    }
    struct Window {
        Window(int w, int h) { Set(w, h); }
        ~Window() { Set(0, 0); }
        void Set(int w, int h) { g_windowWidth = w, g_windowHeight = h; }
    } window(1600, 1500);
    Stream stream(2592, 1944);
    // The left four, as lamp 0 brings them; a lamp lit still wins.
    EXPECT_TRUE(WaitForPicture(stream.sink, pictures[0])) << "slap window";
    VS(vscanner_set_register)(0, 0x2043, 0x08);
    EXPECT_TRUE(WaitForPicture(stream.sink, pictures[1])) << "thumbs";
    VS(vscanner_set_register)(0, 0x2043, 0x00);
    window.Set(640, 640);
    EXPECT_TRUE(WaitForPicture(stream.sink, pictures[2])) << "rolled window";
}

} // namespace
