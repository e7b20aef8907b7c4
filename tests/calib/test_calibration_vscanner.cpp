// The calibration through the virtual scanner: the record in the scanner's
// flash (read over each type's own flash protocol at init) decides the maps,
// and a scene rendered through the scanner's optics comes back out of the
// library's frames and maps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "calib_record_writer.h"
#include "calibration.h"
#include "calibration_loader.h"
#include "device_state.h"
#include "livescan.h"
#include "remap.h"
#include "result_codes.h"
#include "scanner_optics.h"
#include "finger_scene_source.h"
#include "finger_scenes.h"
#include "vscanner_control.h"
#include "vscanner_fixture.h"
#include "vscanner_testing.h"

using namespace belnor;

namespace {

struct Model {
  const char *id;
  int type;
  uint32_t calibrationAddress;
};
constexpr Model kModels[] = {{"8899:1001", 1, 0xCA080}, {"8899:1002", 2, 0x20080}, {"8899:1003", 5, 0x2001A}};

void PrintTo(const Model &m, std::ostream *os) { *os << m.id; }

// The scanner's controls; the device tests' lookup plus the flash preset.
struct VScanner : belnor_test::VScanner {
  decltype(&vscanner_write_flash) writeFlash = VSCANNER_LOOKUP(vscanner_write_flash);
  bool Loaded() const { return belnor_test::VScanner::Loaded() && writeFlash; }
};

// The sensor picture, handed to the scanner once.
int StillFrame(void *user, uint64_t frame, int width, int height, uint8_t *light) {
  if (frame > 0) return 0;
  const auto *picture = static_cast<const std::vector<uint8_t> *>(user);
  if (picture->size() != size_t(width) * height) return 0;
  std::memcpy(light, picture->data(), picture->size());
  return 1;
}

LoadedCalibration Expected(int type, const std::vector<uint8_t> &record) {
  int sw, sh;
  sim::SensorSize(type, &sw, &sh);
  LoadedCalibration cal;
  LoadCalibration(type, sw, sh,
                  [&record](uint32_t offset, uint8_t *out, size_t length) {
                    if (offset > record.size() || length > record.size() - offset) return false;
                    std::memcpy(out, record.data() + offset, length);
                    return true;
                  },
                  &cal);
  return cal;
}

class CalibrationOnTheScanner : public testing::TestWithParam<Model> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Loaded()) << "run with LD_LIBRARY_PATH at the virtual scanner";
    vscanner_testing::ResetScanner();
  }
  void TearDown() override {
    LIVESCAN_Close();
    // The scanner stops calling the source before the fixture frees it.
    sim.setScene(0, nullptr, nullptr);
  }

  // Attaches the model with the record at its calibration address (none for
  // blank flash) and the picture as its scene, then initialises.
  void Open(const std::vector<uint8_t> &record, const std::vector<uint8_t> *picture = nullptr) {
    const Model m = GetParam();
    ASSERT_EQ(sim.reset(m.id), 1);
    if (!record.empty()) {
      ASSERT_EQ(sim.writeFlash(0, m.calibrationAddress, record.data(), uint32_t(record.size())), 0);
    }
    if (picture) sim.setScene(0, StillFrame, const_cast<std::vector<uint8_t> *>(picture));
    // Camera controls as at power-up, put back after init programmed them, so
    // that the scanner shows the picture as it is.
    const belnor_test::PowerUpControls controls(sim, 0);
    ASSERT_EQ(belnor_test::InitAwaitingFirstFrame(), LS_OK);
    controls.Restore();
  }

  // Opens the model with a grid the built-in one cannot be mistaken for (a
  // translation of another size than the type's corrected image) stored, and
  // expects its maps.
  void ExpectStoredGridRead() {
    const Model m = GetParam();
    int sw, sh;
    sim::SensorSize(m.type, &sw, &sh);
    const int w = m.type == 5 ? 1200 : 320, h = m.type == 5 ? 1000 : 240;
    const auto record = sim::EncodeCalibRecord(sim::TranslationGrid(w, h, 37, 21), sw, sh);
    Open(record);
    const LoadedCalibration want = Expected(m.type, record);
    ASSERT_EQ(want.source, CalibSource::kStored);
    EXPECT_EQ(g_RemapWidth, w);
    ExpectMaps(want);
  }

  void ExpectMaps(const LoadedCalibration &want) {
    ASSERT_EQ(g_RemapWidth, want.maps.width);
    ASSERT_EQ(g_RemapHeight, want.maps.height);
    ASSERT_NE(g_RemapX, nullptr);
    const size_t n = size_t(want.maps.width) * want.maps.height * sizeof(int32_t);
    EXPECT_EQ(0, std::memcmp(g_RemapX, want.maps.x.get(), n));
    EXPECT_EQ(0, std::memcmp(g_RemapY, want.maps.y.get(), n));
  }

  // The library's corrected image of the current frame: the whole sensor
  // frame fetched (after the worker's inversion and flip) and remapped.
  std::vector<uint8_t> Corrected() {
    const int sw = g_SensorWidth, sh = g_SensorHeight;
    std::vector<uint8_t> frame(size_t(sw) * sh);
    EXPECT_EQ(LIVESCAN_GetFPRawData(0, frame.data()), LS_OK);
    std::vector<uint8_t> k(size_t(g_RemapWidth) * g_RemapHeight);
    RemapBilinear(k.data(), g_RemapWidth, g_RemapHeight, frame.data(), sw, g_RemapX, g_RemapY);
    return k;
  }

  VScanner sim;
  // Frame sources live as long as the fixture: the scanner calls them until
  // TearDown's close stops its stream.
  std::unique_ptr<sim::FingerSceneSource> source;
  std::vector<uint8_t> picture;
};

TEST_P(CalibrationOnTheScanner, BlankFlashGivesTheBuiltInGrid) {
  Open({});
  ExpectMaps(Expected(GetParam().type, {}));
}

TEST_P(CalibrationOnTheScanner, StoredGridIsReadOverTheFlashProtocol) { ExpectStoredGridRead(); }

// Each type keeps its record at an address of its own: after another type
// was opened in the process, init reads where the type opened now keeps it.
TEST_P(CalibrationOnTheScanner, StoredGridIsReadAfterAnotherTypeWasOpened) {
  ASSERT_EQ(sim.reset(kModels[GetParam().type == 1 ? 1 : 0].id), 1);
  ASSERT_EQ(belnor_test::InitAwaitingFirstFrame(), LS_OK);
  LIVESCAN_Close();
  ExpectStoredGridRead();
}

TEST_P(CalibrationOnTheScanner, DamagedRecordGivesTheBuiltInGrid) {
  const Model m = GetParam();
  std::vector<uint8_t> record = sim::BuiltinCalibRecord(m.type);
  for (size_t i = kCalibHeaderSize; i < record.size(); i += 2) record[i] = uint8_t(record[i] + 3);
  Open(record);
  ExpectMaps(Expected(m.type, {}));
}

TEST_P(CalibrationOnTheScanner, SceneComesBackThroughTheOptics) {
  // The built-in table stored by the factory: the scanner renders the scene
  // through it and the library's maps undo it.
  const Model m = GetParam();
  const std::vector<uint8_t> record = sim::BuiltinCalibRecord(m.type);
  const sim::ScannerOptics optics(m.type, record);
  int vw, vh;
  sim::SceneViewSize(m.type, &vw, &vh);
  sim::SceneSpec spec;
  sim::ParseSceneSpec(m.type == 5 ? "slap-left@3" : "flat@3", &spec);
  std::vector<uint8_t> view(size_t(vw) * vh), scene(view.size());
  sim::SceneRenderer(spec, vw, vh).Render(3000, view.data());
  sim::ViewToCorrected(m.type, view.data(), scene.data());
  picture.resize(size_t(optics.sensorWidth()) * optics.sensorHeight());
  optics.Render(scene.data(), picture.data());
  Open(record, &picture);
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, g_SensorWidth, g_SensorHeight), LS_OK);
  double best = 0;
  for (int i = 0; i < 20 && best < 30; ++i) {
    // Frames made before the controls were put back may still arrive.
    const std::vector<uint8_t> k = Corrected();
    double se = 0;
    for (size_t j = 0; j < k.size(); ++j) se += (double(k[j]) - scene[j]) * (double(k[j]) - scene[j]);
    best = se == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(k.size()) / se);
  }
  std::printf("%s: scene through the scanner, PSNR %.2f dB\n", m.id, best);
  EXPECT_GE(best, 30.0);
}

TEST_P(CalibrationOnTheScanner, FingerSceneStreamsThroughTheScanner) {
  // The scene source as the scanner runs it: a flat finger is placed after a
  // few hundred milliseconds of frames and shows in the corrected image.
  const Model m = GetParam();
  sim::SceneSpec spec;
  ASSERT_TRUE(sim::ParseSceneSpec(m.type == 5 ? "thumbs@4" : "flat@4", &spec));
  source = std::make_unique<sim::FingerSceneSource>(spec, m.type, std::vector<uint8_t>{}, 10);
  ASSERT_EQ(sim.reset((std::string(m.id) + "/fps=30").c_str()), 1);
  ASSERT_EQ(belnor_test::InitAwaitingFirstFrame(), LS_OK);
  sim.setScene(0, sim::FingerSceneSource::Render, source.get());
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, g_SensorWidth, g_SensorHeight), LS_OK);
  double dark = 0;
  for (int i = 0; i < 60 && dark < 0.03; ++i) {
    const std::vector<uint8_t> k = Corrected();
    size_t n = 0;
    for (uint8_t v : k) n += v < 120;
    dark = double(n) / double(k.size());
  }
  EXPECT_GE(dark, 0.03);
}

INSTANTIATE_TEST_SUITE_P(Models, CalibrationOnTheScanner, testing::ValuesIn(kModels),
                         [](const testing::TestParamInfo<Model> &i) {
                           std::string s = i.param.id;
                           s[4] = '_';
                           return s;
                         });

TEST(TranslationOnTheScanner, CorrectedImageIsTheSceneExactly) {
  VScanner sim;
  ASSERT_TRUE(sim.Loaded());
  const auto record = sim::EncodeCalibRecord(sim::TranslationGrid(640, 640, 392, 172), 1424, 984);
  const sim::ScannerOptics optics(1, record);
  sim::SceneSpec spec;
  sim::ParseSceneSpec("flat@8", &spec);
  std::vector<uint8_t> scene(640 * 640), picture(1424 * 984);
  sim::SceneRenderer(spec, 640, 640).Render(2500, scene.data());
  optics.Render(scene.data(), picture.data());
  ASSERT_EQ(sim.reset("8899:1001"), 1);
  ASSERT_EQ(sim.writeFlash(0, 0xCA080, record.data(), uint32_t(record.size())), 0);
  sim.setScene(0, StillFrame, &picture);
  const belnor_test::PowerUpControls controls(sim, 0);
  ASSERT_EQ(belnor_test::InitAwaitingFirstFrame(), LS_OK);
  controls.Restore();
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 1424, 984), LS_OK);
  std::vector<uint8_t> frame(1424 * 984), k(640 * 640);
  bool same = false;
  for (int i = 0; i < 20 && !same; ++i) {
    ASSERT_EQ(LIVESCAN_GetFPRawData(0, frame.data()), LS_OK);
    RemapBilinear(k.data(), 640, 640, frame.data(), 1424, g_RemapX, g_RemapY);
    same = k == scene;
  }
  EXPECT_TRUE(same);
  LIVESCAN_Close();
}

}  // namespace
