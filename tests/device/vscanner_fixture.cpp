#include "vscanner_fixture.h"

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <list>
#include <mutex>

#include "calibration.h"
#include "device_state.h"
#include "livescan.h"
#include "remap.h"
#include "vscanner_testing.h"

namespace belnor_test {

PowerUpControls::PowerUpControls(const VScanner& sim, int dev) : sim_(sim), dev_(dev) {
  const int known[][2] = {{VSCANNER_UNIT_CAMERA, 0x02},     {VSCANNER_UNIT_CAMERA, 0x04},
                          {VSCANNER_UNIT_PROCESSING, 0x02}, {VSCANNER_UNIT_PROCESSING, 0x03},
                          {VSCANNER_UNIT_PROCESSING, 0x04}, {VSCANNER_UNIT_PROCESSING, 0x07},
                          {VSCANNER_UNIT_PROCESSING, 0x09}, {VSCANNER_UNIT_PROCESSING, 0x0A},
                          {VSCANNER_UNIT_PROCESSING, 0x0B}};
  for (const auto& k : known) {
    int32_t value = 0;
    if (sim_.getControl(dev_, k[0], k[1], &value) == 0) controls_.push_back({k[0], k[1], value});
  }
}

void PowerUpControls::Restore() const {
  for (const Control& c : controls_) sim_.setControl(dev_, c.unit, c.selector, c.value);
}

uint8_t SceneLight(int x, int y, int width, int height) {
  return static_cast<uint8_t>(24 + (150 * y) / (height - 1) + (60 * x) / (width - 1));
}

namespace {

// The scene at one sensor size, drawn before the stream starts: the device
// only copies it, quickly also in an instrumented build.
struct ScenePicture {
  int width, height;
  std::vector<uint8_t> light;
};

int RenderScene(void* user, uint64_t frame, int width, int height, uint8_t* light) {
  if (frame > 0) return 0;  // the picture never changes
  const auto* picture = static_cast<const ScenePicture*>(user);
  if (picture && picture->width == width && picture->height == height) {
    std::memcpy(light, picture->light.data(), picture->light.size());
    return 1;
  }
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      light[static_cast<size_t>(y) * width + x] = SceneLight(x, y, width, height);
  return 1;
}

}  // namespace

void InstallScene(const VScanner& sim, int dev) {
  int width = 0, height = 0;
  sim.streamInfo(dev, nullptr, &width, &height, nullptr);
  // One picture per size for the whole program, never freed: a frame
  // thread may still copy it while the program exits.
  static std::mutex& lock = *new std::mutex;
  static std::list<ScenePicture>& pictures = *new std::list<ScenePicture>;
  const ScenePicture* picture = nullptr;
  {
    std::lock_guard<std::mutex> hold(lock);
    for (const ScenePicture& p : pictures)
      if (p.width == width && p.height == height) picture = &p;
    if (!picture && width > 0 && height > 0) {
      ScenePicture p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height)};
      RenderScene(nullptr, 0, width, height, p.light.data());
      pictures.push_back(std::move(p));
      picture = &pictures.back();
    }
  }
  sim.setScene(dev, RenderScene, const_cast<ScenePicture*>(picture));
}

TypeGeometry GeometryOf(const std::string& usbId) {
  if (usbId.rfind("8899:1001", 0) == 0) return {1, 640, 640, 1424, 984};
  if (usbId.rfind("8899:1003", 0) == 0) return {5, 1600, 1500, 2592, 1944};
  return {2, 256, 360, 1280, 720};  // 8899:1002, 7d45:3004
}

std::vector<uint8_t> ExpectedWindow(const TypeGeometry& g) {
  const bool invert = g.type == 2 || g.type == 5;
  const bool flip = g.type == 5;
  // The sensor frame as the worker hands it to the pipeline.
  std::vector<uint8_t> sensor(static_cast<size_t>(g.sensorWidth) * g.sensorHeight);
  for (int y = 0; y < g.sensorHeight; ++y)
    for (int x = 0; x < g.sensorWidth; ++x) {
      const int sy = flip ? g.sensorHeight - 1 - y : y;
      uint8_t v = SceneLight(x, sy, g.sensorWidth, g.sensorHeight);
      if (invert) v = static_cast<uint8_t>(255 - v);
      sensor[static_cast<size_t>(y) * g.sensorWidth + x] = v;
    }
  // Corrected through the maps of the open scanner, then the window placed.
  const int rw = belnor::g_RemapWidth, rh = belnor::g_RemapHeight;
  std::vector<uint8_t> k(static_cast<size_t>(rw) * rh);
  belnor::RemapBilinear(k.data(), rw, rh, sensor.data(), g.sensorWidth, belnor::g_RemapX,
                        belnor::g_RemapY);
  const belnor::WindowSnapshot window = belnor::LoadCaptureWindow();
  const int wx = window.x, wy = window.y;
  std::vector<uint8_t> out(static_cast<size_t>(g.windowWidth) * g.windowHeight);
  for (int y = 0; y < g.windowHeight; ++y)
    for (int x = 0; x < g.windowWidth; ++x) {
      uint8_t v;
      if (g.type == 2) {
        // Reflected about the anti-diagonal (rh wide, rw high), centred.
        const int ty = (rw - g.windowHeight) / 2 + y, tx = (rh - g.windowWidth) / 2 + x;
        v = k[static_cast<size_t>(rh - 1 - tx) * rw + (rw - 1 - ty)];
      } else {
        v = k[static_cast<size_t>(wy + y) * rw + wx + x];
      }
      out[static_cast<size_t>(y) * g.windowWidth + x] = v;
    }
  return out;
}

Difference Compare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  Difference d{0, 0.0};
  if (a.size() != b.size() || a.empty()) return {256, 256.0};
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const int diff = std::abs(a[i] - b[i]);
    d.worst = std::max(d.worst, diff);
    sum += diff;
  }
  d.mean = sum / static_cast<double>(a.size());
  return d;
}

int ThreadCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') ++count;
    closedir(dir);
  }
  return count;
}

bool ThreadsSettleAt(int atMost) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (ThreadCount() > atMost) {
    if (std::chrono::steady_clock::now() > end) return false;
    usleep(5000);
  }
  return true;
}

void VScannerTest::SetUp() {
  ASSERT_TRUE(sim.Loaded()) << "run with LD_LIBRARY_PATH at the virtual scanner";
  vscanner_testing::ResetScanner();
}

void VScannerTest::TearDown() {
  LIVESCAN_Close();
  LIVESCAN_SetActiveDev(-1);
}

void VScannerTest::Attach(const std::string& devices) {
  const int n = sim.reset(devices.c_str());
  ASSERT_GT(n, 0) << devices;
  for (int dev = 0; dev < n; ++dev) InstallScene(sim, dev);
}

}  // namespace belnor_test
