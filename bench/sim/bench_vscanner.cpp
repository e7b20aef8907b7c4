// What streaming through the virtual scanner costs: the device's frame
// thread (rendering, payload fill) in % of one core, and the whole
// process (with libuvc's frame assembly and the event loop) for scale.
#include <libuvc/libuvc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "vscanner_control.h"
#include "vscanner_main.h"

namespace {

double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

std::atomic<int> g_frames{0};

void OnFrame(uvc_frame_t*, void*) {
    ++g_frames;
}

void Stream(benchmark::State& state, const char* devices, int width, int height, uvc_frame_format format,
            double seconds) {
    setenv("VSCANNER_FPS", std::to_string(state.range(0)).c_str(), 1);
    VSCANNER_LOOKUP(vscanner_reset)(devices);
    uvc_context_t* ctx = nullptr;
    uvc_device_t** list = nullptr;
    uvc_device_handle_t* devh = nullptr;
    uvc_stream_ctrl_t ctrl;
    if (uvc_init(&ctx, nullptr) || uvc_get_device_list(ctx, &list) || !list[0] || uvc_open(list[0], &devh) ||
        uvc_get_stream_ctrl_format_size(devh, &ctrl, format, width, height, 0)) {
        state.SkipWithError("no virtual scanner to stream from");
        return;
    }
    for (auto _ : state) {
        g_frames = 0;
        const int64_t sim0 = VSCANNER_LOOKUP(vscanner_stream_cpu_ns)(0);
        const double cpu0 = ProcessCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        uvc_start_streaming(devh, &ctrl, OnFrame, nullptr, 0);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        uvc_stop_streaming(devh);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double sim = double(VSCANNER_LOOKUP(vscanner_stream_cpu_ns)(0) - sim0) * 1e-9;
        state.SetIterationTime(wall);
        state.counters["fps"] = g_frames / wall;
        state.counters["sim_core_pct"] = 100.0 * sim / wall;
        state.counters["process_core_pct"] = 100.0 * (ProcessCpuSeconds() - cpu0) / wall;
    }
    uvc_close(devh);
    uvc_free_device_list(list, 1);
    uvc_exit(ctx);
}

void BM_Type1Yuyv(benchmark::State& state) {
    Stream(state, "8899:1001", 1424, 984, UVC_FRAME_FORMAT_YUYV, 3.0);
}
BENCHMARK(BM_Type1Yuyv)->Arg(30)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Type5Yuyv(benchmark::State& state) {
    Stream(state, "8899:1003", 2592, 1944, UVC_FRAME_FORMAT_YUYV, 3.0);
}
BENCHMARK(BM_Type5Yuyv)->Arg(10)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Type2Mjpeg(benchmark::State& state) {
    Stream(state, "8899:1002/format=mjpeg", 1280, 720, UVC_FRAME_FORMAT_MJPEG, 3.0);
}
BENCHMARK(BM_Type2Mjpeg)->Arg(30)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return belnor_bench::RunOnVirtualScanner(argc, argv, VSCANNER_DIR);
}
