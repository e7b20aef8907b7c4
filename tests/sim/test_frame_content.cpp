// What the frames show: MJPEG carries the YUYV picture stored bottom-up,
// an installed scene replaces the test pattern, a corrupt frame is garbage
// of the right size.
#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "vscanner_test.h"

namespace {

struct JpegError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// Greyscale decode; empty on a broken JPEG.
std::vector<uint8_t> DecodeGrey(const std::vector<uint8_t>& jpeg, int* w, int* h) {
    jpeg_decompress_struct info;
    JpegError err;
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); };
    err.base.output_message = [](j_common_ptr) {};
    std::vector<uint8_t> out;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), (unsigned long)jpeg.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_GRAYSCALE;
    jpeg_start_decompress(&info);
    *w = int(info.output_width);
    *h = int(info.output_height);
    out.resize(size_t(*w) * size_t(*h));
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.data() + size_t(info.output_scanline) * size_t(*w);
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return out;
}

// One frame of the device's first stream in the given format.
std::vector<uint8_t> GrabFrame(uvc_frame_format format, int w, int h) {
    UvcContext ctx;
    uvc_device_t** list = nullptr;
    EXPECT_EQ(uvc_get_device_list(ctx.get(), &list), UVC_SUCCESS);
    uvc_device_handle_t* devh = nullptr;
    EXPECT_EQ(uvc_open(list[0], &devh), UVC_SUCCESS);
    uvc_stream_ctrl_t ctrl;
    EXPECT_EQ(uvc_get_stream_ctrl_format_size(devh, &ctrl, format, w, h, 0), UVC_SUCCESS);
    FrameSink sink;
    EXPECT_EQ(uvc_start_streaming(devh, &ctrl, FrameSink::OnFrame, &sink, 0), UVC_SUCCESS);
    EXPECT_TRUE(sink.WaitFor(2));
    uvc_stop_streaming(devh);
    uvc_close(devh);
    uvc_free_device_list(list, 1);
    std::lock_guard<std::mutex> lock(sink.mu);
    return sink.last;
}

std::vector<uint8_t> Luma(const std::vector<uint8_t>& yuyv) {
    std::vector<uint8_t> y(yuyv.size() / 2);
    for (size_t i = 0; i < y.size(); ++i)
        y[i] = yuyv[2 * i];
    return y;
}

TEST(FrameContent, MjpegIsTheYuyvPictureStoredBottomUp) {
    AttachDevices("8899:1002/format=yuyv+mjpeg", "30");
    ASSERT_EQ(VS(vscanner_set_scene_name)(0, "pattern"), 0);
    const std::vector<uint8_t> luma = Luma(GrabFrame(UVC_FRAME_FORMAT_YUYV, 1280, 720));
    ASSERT_EQ(luma.size(), 1280u * 720u);
    int w = 0, h = 0;
    const std::vector<uint8_t> grey = DecodeGrey(GrabFrame(UVC_FRAME_FORMAT_MJPEG, 1280, 720), &w, &h);
    ASSERT_EQ(w, 1280);
    ASSERT_EQ(h, 720);
    double sameError = 0, flippedError = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int yuyv = luma[size_t(y) * 1280 + size_t(x)];
            flippedError += std::abs(yuyv - grey[size_t(h - 1 - y) * 1280 + size_t(x)]);
            sameError += std::abs(yuyv - grey[size_t(y) * 1280 + size_t(x)]);
        }
    flippedError /= double(w) * h;
    sameError /= double(w) * h;
    EXPECT_LT(flippedError, 3.0);
    EXPECT_GT(sameError, 10.0);
}

TEST(FrameContent, TestPatternRisesToTheRightAndDownwards) {
    AttachDevices("8899:1001", "30");
    ASSERT_EQ(VS(vscanner_set_scene_name)(0, "pattern"), 0);
    const std::vector<uint8_t> y = Luma(GrabFrame(UVC_FRAME_FORMAT_YUYV, 1424, 984));
    ASSERT_EQ(y.size(), 1424u * 984u);
    auto at = [&](int x, int r) { return int(y[size_t(r) * 1424 + size_t(x)]); };
    EXPECT_LT(at(10, 10), at(1400, 10));
    EXPECT_LT(at(10, 10), at(10, 970));
    EXPECT_LT(at(64, 10), at(63, 10)); // a grid line
}

struct SceneCalls {
    std::atomic<int> calls{0};
    std::atomic<int> width{0}, height{0};
};

int FlatScene(void* user, uint64_t, int width, int height, uint8_t* light) {
    auto* s = static_cast<SceneCalls*>(user);
    s->width = width;
    s->height = height;
    std::memset(light, 100, size_t(width) * size_t(height));
    return s->calls++ == 0;
}

TEST(FrameContent, InstalledSceneReplacesThePattern) {
    AttachDevices("8899:1002", "30");
    SceneCalls calls;
    ASSERT_EQ(VS(vscanner_set_scene)(0, FlatScene, &calls), 0);
    const std::vector<uint8_t> y = Luma(GrabFrame(UVC_FRAME_FORMAT_YUYV, 1280, 720));
    EXPECT_GE(calls.calls, 2);
    EXPECT_EQ(calls.width, 1280);
    EXPECT_EQ(calls.height, 720);
    ASSERT_FALSE(y.empty());
    // Power-up settings render the light as it is.
    EXPECT_TRUE(std::all_of(y.begin(), y.end(), [](uint8_t v) { return v == 100; }));
    ASSERT_EQ(VS(vscanner_set_scene)(0, nullptr, nullptr), 0);
    const std::vector<uint8_t> back = Luma(GrabFrame(UVC_FRAME_FORMAT_YUYV, 1280, 720));
    EXPECT_FALSE(std::all_of(back.begin(), back.end(), [](uint8_t v) { return v == 100; }));
}

TEST(FrameContent, CorruptFrameKeepsItsSize) {
    AttachDevices("8899:1002/format=mjpeg", "30");
    // A still picture, so that both grabs compress the same frame.
    ASSERT_EQ(VS(vscanner_set_scene_name)(0, "pattern"), 0);
    const std::vector<uint8_t> clean = GrabFrame(UVC_FRAME_FORMAT_MJPEG, 1280, 720);
    VS(vscanner_set_fault)(0, VSCANNER_FAULT_CORRUPT_FRAME, -1);
    const std::vector<uint8_t> jpeg = GrabFrame(UVC_FRAME_FORMAT_MJPEG, 1280, 720);
    // Headers kept, scan data garbled.
    ASSERT_EQ(jpeg.size(), clean.size());
    ASSERT_GT(jpeg.size(), 1000u);
    EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.begin() + 600, clean.begin()));
    EXPECT_NE(jpeg, clean);

    AttachDevices("8899:1002", "30");
    VS(vscanner_set_fault)(0, VSCANNER_FAULT_CORRUPT_FRAME, -1);
    const std::vector<uint8_t> yuyv = GrabFrame(UVC_FRAME_FORMAT_YUYV, 1280, 720);
    EXPECT_EQ(yuyv.size(), 1280u * 720u * 2u);
    // Colour bytes are no longer neutral.
    size_t neutral = 0;
    for (size_t i = 1; i < yuyv.size(); i += 2)
        neutral += yuyv[i] == 128;
    EXPECT_LT(neutral, yuyv.size() / 8);
}

} // namespace
