// Whole frames through the virtual scanner with still pictures: a finger
// scene drawn once, rendered through a type's optics and shown until the
// test switches to another, so that every frame is known in advance.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "calib_record_writer.h"
#include "device_state.h"
#include "finger_scenes.h"
#include "livescan.h"
#include "result_codes.h"
#include "scanner_optics.h"
#include "vscanner_control.h"
#include "vscanner_fixture.h"
#include "vscanner_testing.h"

namespace pipeline_test {

using namespace belnor;

struct Model {
  const char *id;
  int type;
  uint32_t calibrationAddress;
  const char *devices;  // with the fastest frame rate the test needs
};
constexpr Model kType1{"8899:1001", 1, 0xCA080, "8899:1001/fps=30"};
constexpr Model kType2{"8899:1002", 2, 0x20080, "8899:1002/fps=30"};
constexpr Model kType5{"8899:1003", 5, 0x2001A, "8899:1003/fps=15"};
constexpr Model kModels[] = {kType1, kType2, kType5};

inline void PrintTo(const Model &m, std::ostream *os) { *os << m.id; }
inline std::string ModelName(const Model &m) { return "type" + std::to_string(m.type); }

// A grey image, rows packed.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
  uint8_t at(int x, int y) const { return pixels[size_t(y) * width + x]; }
  uint8_t &at(int x, int y) { return pixels[size_t(y) * width + x]; }
};

// The scene as the type's view shows it (SceneViewSize), at tMs.
inline Picture SceneView(int type, const std::string &spec, double tMs) {
  sim::SceneSpec s;
  EXPECT_TRUE(sim::ParseSceneSpec(spec, &s)) << spec;
  Picture p;
  sim::SceneViewSize(type, &p.width, &p.height);
  p.pixels.resize(size_t(p.width) * p.height);
  sim::SceneRenderer(s, p.width, p.height).Render(tMs, p.pixels.data());
  return p;
}

// A finger held on the platen.
inline Picture HeldFinger(int type, uint32_t seed = 3) {
  const char *kind = type == 5 ? "slap-left@" : "flat@";
  return SceneView(type, kind + std::to_string(seed), (sim::kHoldMs + sim::kLiftMs) / 2);
}

// p moved by (dx, dy); what comes in from outside is bare platen.
inline Picture Shifted(const Picture &p, int dx, int dy) {
  Picture q = p;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const int sx = x - dx, sy = y - dy;
      q.at(x, y) = sx >= 0 && sy >= 0 && sx < p.width && sy < p.height ? p.at(sx, sy)
                                                                        : sim::kPlatenGrey;
    }
  return q;
}

inline Picture Crop(const Picture &p, int x, int y, int width, int height) {
  Picture c;
  c.width = width;
  c.height = height;
  c.pixels.resize(size_t(width) * height);
  for (int r = 0; r < height; ++r)
    std::memcpy(&c.at(0, r), &p.pixels[size_t(y + r) * p.width + x], size_t(width));
  return c;
}

// Where the library's window of a type shows the view: types 1 and 5 at the
// window's origin, type 2 centred in the reflected image, which is the view.
inline Picture ViewWindow(const Picture &view, int type, int x, int y, int width, int height) {
  if (type == 2) return Crop(view, (view.width - width) / 2, (view.height - height) / 2, width, height);
  return Crop(view, x, y, width, height);
}

// Origin of window in the larger picture, found by its content.
inline bool Locate(const Picture &window, const Picture &in, int *ox, int *oy) {
  for (int y = 0; y + window.height <= in.height; ++y)
    for (int x = 0; x + window.width <= in.width; ++x) {
      if (std::memcmp(&in.pixels[size_t(y) * in.width + x], window.pixels.data(),
                      size_t(window.width)) != 0)
        continue;
      if (Crop(in, x, y, window.width, window.height).pixels == window.pixels) {
        *ox = x;
        *oy = y;
        return true;
      }
    }
  return false;
}

inline double Psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double se = 0;
  for (size_t i = 0; i < a.size(); ++i) se += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  return se == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / se);
}

// Calibration records: a translation makes the corrected image an exact
// crop of the sensor; empty means blank flash (the built-in grid).
inline std::vector<uint8_t> TranslationRecord(int type) {
  int sw, sh, w, h;
  sim::SensorSize(type, &sw, &sh);
  sim::SceneViewSize(type, &w, &h);
  if (type == 2) std::swap(w, h);  // the corrected image lies on its side
  return sim::EncodeCalibRecord(sim::TranslationGrid(w, h, float((sw - w) / 3), float((sh - h) / 4)),
                                sw, sh);
}

// The sensor frame the scanner should send for a view.
inline std::vector<uint8_t> SensorPicture(int type, const std::vector<uint8_t> &record,
                                          const Picture &view) {
  const sim::ScannerOptics optics(type, record);
  std::vector<uint8_t> corrected(view.pixels.size()), frame;
  sim::ViewToCorrected(type, view.pixels.data(), corrected.data());
  frame.resize(size_t(optics.sensorWidth()) * optics.sensorHeight());
  optics.Render(corrected.data(), frame.data());
  return frame;
}

// The scanner's frame source: the picture shown last, handed over once.
class StillPictures {
 public:
  void Show(std::vector<uint8_t> picture) {
    std::lock_guard<std::mutex> hold(lock_);
    picture_ = std::move(picture);
    ++shown_;
  }
  static int Render(void *self, uint64_t, int width, int height, uint8_t *light) {
    auto *s = static_cast<StillPictures *>(self);
    std::lock_guard<std::mutex> hold(s->lock_);
    if (s->sent_ == s->shown_ || s->picture_.size() != size_t(width) * height) return 0;
    std::memcpy(light, s->picture_.data(), s->picture_.size());
    s->sent_ = s->shown_;
    return 1;
  }

 private:
  std::mutex lock_;
  std::vector<uint8_t> picture_;
  uint64_t shown_ = 0, sent_ = 0;
};

struct Switches {
  bool autoAdjust = false, clearBackground = false, autoPosition = false;
};

// Base of the scanner runs: attaches a model with a calibration record and a
// still picture, opens the library with the camera as at power-up.
class ScannerRun : public testing::Test {
 protected:
  struct Sim : belnor_test::VScanner {
    decltype(&vscanner_write_flash) writeFlash = VSCANNER_LOOKUP(vscanner_write_flash);
    decltype(&vscanner_wire_count) wireCount = VSCANNER_LOOKUP(vscanner_wire_count);
    decltype(&vscanner_wire_get) wireGet = VSCANNER_LOOKUP(vscanner_wire_get);
    decltype(&vscanner_wire_clear) wireClear = VSCANNER_LOOKUP(vscanner_wire_clear);
    bool Loaded() const {
      return belnor_test::VScanner::Loaded() && writeFlash && wireCount && wireGet && wireClear;
    }
  };

  void SetUp() override {
    ASSERT_TRUE(sim.Loaded()) << "run with LD_LIBRARY_PATH at the virtual scanner";
    vscanner_testing::ResetScanner();
  }
  void TearDown() override {
    LIVESCAN_Close();
    // The scanner stops calling the source before the fixture frees it.
    sim.setScene(0, nullptr, nullptr);
  }

  void Open(const Model &m, const std::vector<uint8_t> &record, const Picture &view,
            Switches switches = {}) {
    model = m;
    this->record = record;
    ASSERT_EQ(sim.reset(m.devices), 1);
    if (!record.empty()) {
      ASSERT_EQ(sim.writeFlash(0, m.calibrationAddress, record.data(), uint32_t(record.size())), 0);
    }
    Show(view);
    sim.setScene(0, StillPictures::Render, &stills);
    powerUp = std::make_unique<belnor_test::PowerUpControls>(sim, 0);
    ASSERT_EQ(belnor_test::InitAwaitingFirstFrame(), LS_OK);
    SetSwitches(switches);
  }

  void Show(const Picture &view) {
    stills.Show(SensorPicture(model.type, record, view));
    SkipStaleFrames();
  }

  // Frames the scanner made before a change of picture or camera may still
  // be on their way; a loaded machine can queue two equal ones.
  void SkipStaleFrames() {
    if (!g_bInitialized) return;
    const int64_t start = sim.framesSent(0);
    for (int i = 0; i < 30 && sim.framesSent(0) < start + 3; ++i) Fetch();
    Fetch();
  }

  // The switches through the attribute set; the camera then goes back to
  // its power-up values, which the set may have changed.
  void SetSwitches(Switches s) {
    ImgAttr a{};
    ASSERT_EQ(LIVESCAN_GetImgAttr(0, &a, 0), LS_OK);
    a.bAutoAdjust = s.autoAdjust;
    a.bClearBk = s.clearBackground;
    a.bAutoPos = s.autoPosition;
    ASSERT_EQ(LIVESCAN_SetImgAttr(0, 0, a), LS_OK);
    powerUp->Restore();
    SkipStaleFrames();
  }

  Picture Fetch() {
    Picture p;
    int x, y;
    EXPECT_EQ(LIVESCAN_GetCaptWindow(0, &x, &y, &p.width, &p.height), LS_OK);
    p.pixels.assign(size_t(p.width) * p.height, 0);
    EXPECT_EQ(LIVESCAN_GetFPRawData(0, p.pixels.data()), LS_OK);
    return p;
  }

  // The first frame equal to the one before: frames made before a change of
  // picture, camera or settings are behind it.
  Picture FetchSettled(int attempts = 30) {
    Picture last = Fetch();
    for (int i = 0; i < attempts; ++i) {
      Picture next = Fetch();
      if (next.pixels == last.pixels) return next;
      last = std::move(next);
    }
    ADD_FAILURE() << "frames never settled";
    return last;
  }

  Sim sim;
  Model model{};
  std::vector<uint8_t> record;
  StillPictures stills;
  std::unique_ptr<belnor_test::PowerUpControls> powerUp;
};

}  // namespace pipeline_test
