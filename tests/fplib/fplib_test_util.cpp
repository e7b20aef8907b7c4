#include "fplib_test_util.h"

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "fp_state.h"
#include "fplib.h"
#include "step_log.h"
#include "synthetic_print.h"

namespace fptest {

void FpLibTest::SetUp() {
  previous_ = std::filesystem::current_path();
  std::string tmpl = (std::filesystem::temp_directory_path() / "fplib-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  dir_ = tmpl;
  std::filesystem::current_path(dir_);
  FP_Begin();
}

void FpLibTest::TearDown() {
  FP_End();
  FP_SetOnGetQualityScore(nullptr);
  std::filesystem::current_path(previous_);
  std::filesystem::remove_all(dir_);
}

std::string FpLibTest::ReadLogFile() const {
  std::ifstream in(dir_ / fplib::kLogFileName, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Empty when the build found no prints.
std::filesystem::path SampleDir() { return std::filesystem::path(BELNOR_PRINTS_DIR); }

std::vector<uint8_t> LoadSample(int finger, int impression) {
  const std::filesystem::path dir = SampleDir();
  if (dir.empty()) return {};
  std::ifstream in(dir / (std::to_string(finger) + "_" + std::to_string(impression) + ".bmp"), std::ios::binary);
  const std::vector<uint8_t> bmp((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bmp.size() < 1078) return {};
  auto le32 = [&](size_t at) { return int(bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 | bmp[at + 3] << 24); };
  const int offset = le32(10), w = le32(18), h = le32(22), stride = (w + 3) & ~3;
  if (w < FP_IMAGE_WIDTH || h < FP_IMAGE_HEIGHT || bmp.size() < size_t(offset) + size_t(stride) * h) return {};
  std::vector<uint8_t> out(FP_IMAGE_SIZE);
  const int ox = (w - FP_IMAGE_WIDTH) / 2, oy = (h - FP_IMAGE_HEIGHT) / 2;
  for (int y = 0; y < FP_IMAGE_HEIGHT; ++y) {
    const size_t row = size_t(h - 1 - (y + oy));
    std::memcpy(&out[size_t(y) * FP_IMAGE_WIDTH], &bmp[size_t(offset) + row * stride + ox], FP_IMAGE_WIDTH);
  }
  return out;
}

std::vector<uint8_t> SyntheticPrint(unsigned seed) {
  testprint::PrintSpec s;
  s.width = FP_IMAGE_WIDTH;
  s.height = FP_IMAGE_HEIGHT;
  s.coreX = 128;
  s.coreY = -120;
  s.maskA = 110;
  s.maskB = 165;
  s.seed = seed;
  s.spirals = {{100, 120, 1}, {160, 150, -1}, {120, 200, 1}, {90, 250, -1}, {170, 240, 1},
               {130, 290, -1}, {150, 90, 1}, {80, 180, -1}, {180, 190, 1}};
  return testprint::Render(s);
}

std::vector<uint8_t> WrapBmp(const std::vector<uint8_t> &raw, int w, int h) {
  const int stride = (w + 3) & ~3;
  std::vector<uint8_t> bmp(1078 + size_t(stride) * h, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) bmp[at + k] = uint8_t(v >> (8 * k));
  };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put32(2, uint32_t(bmp.size()));
  put32(10, 1078);
  put32(14, 40);
  put32(18, uint32_t(w));
  put32(22, uint32_t(h));
  bmp[26] = 1;
  bmp[28] = 8;
  for (int i = 0; i < 256; ++i) bmp[54 + 4 * i] = bmp[55 + 4 * i] = bmp[56 + 4 * i] = uint8_t(i);
  for (int y = 0; y < h; ++y) std::memcpy(&bmp[1078 + size_t(h - 1 - y) * stride], &raw[size_t(y) * w], size_t(w));
  return bmp;
}

}  // namespace fptest
