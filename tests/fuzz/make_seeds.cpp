// FUZZ_WRITE_CORPUS=dir writes seeds for the fuzz targets of tests/fuzz into
// dir/<target>/, made with the libraries from synthetic prints.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "calib_record_writer.h"
#include "device_state.h"
#include "fplib.h"
#include "livescan.h"
#include "settings_record.h"
#include "synthetic_print.h"
#include "../minutiae/synthetic_print.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Seeds : public ::testing::Test {
 protected:
  void SetUp() override {
    const char *dir = std::getenv("FUZZ_WRITE_CORPUS");
    if (!dir) GTEST_SKIP() << "set FUZZ_WRITE_CORPUS to write seeds";
    dir_ = dir;
  }
  void Write(const std::string &target, const std::string &name, const Bytes &data) {
    std::filesystem::create_directories(dir_ / target);
    std::ofstream(dir_ / target / name, std::ios::binary)
        .write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
  }
  std::filesystem::path dir_;
};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Bmp(const Bytes &raw, int w, int h) {
  Bytes bmp(1078 + raw.size() + size_t(h) * 4);
  EXPECT_EQ(LIVESCAN_RawToBmp(raw.data(), w, h, bmp.data(), int(bmp.size())), 1);
  bmp.resize(1078 + size_t((w + 3) / 4 * 4) * size_t(h));
  return bmp;
}

TEST_F(Seeds, Templates) {
  belnor::g_bInitialized = 1;
  Bytes f[2];
  for (int i = 0; i < 2; ++i) {
    f[i].resize(606);
    const Bytes bmp = Bmp(testprint::Render(testprint::DefaultPrint(unsigned(i + 1))), 400, 400);
    EXPECT_GT(LIVESCAN_FeatureExtractMem(bmp.data(), int(bmp.size()), f[i].data()), 0);
  }
  Write("ftemplate", "self", f[0]);
  Write("ftemplate", "pair", Concat({f[0], f[1]}));
  Write("ftemplate", "no_minutiae", Bytes{'F', 0, 0, 0});

  ASSERT_EQ(FP_Begin(), FP_OK);
  Bytes c[2];
  for (int i = 0; i < 2; ++i) {
    c[i].resize(FP_TEMPLATE_SIZE);
    Bytes print = wsqtest::SyntheticPrint(FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT, uint32_t(i + 1));
    EXPECT_EQ(FP_FeatureExtract(0, 1, print.data(), c[i].data()), FP_OK);
  }
  Write("ctemplate", "self", c[0]);
  Write("ctemplate", "pair", Concat({c[0], c[1]}));
  Write("ctemplate", "pair_and_image", Concat({c[0], c[1], Bytes{1}}));
  Bytes empty(FP_TEMPLATE_SIZE);
  ASSERT_EQ(FP_GenFeatureFromEmpty1(0, 1, empty.data()), FP_OK);
  Write("ctemplate", "empty", empty);
}

TEST_F(Seeds, ContainersAndImages) {
  ASSERT_EQ(FP_Begin(), FP_OK);
  Bytes print = wsqtest::SyntheticPrint(FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT, 3);
  char message[256];
  for (int ratio : {5, 15}) {
    Bytes out(FP_COMPRESSED_SIZE);
    ASSERT_EQ(FP_Compress(0, 1, 2, print.data(), ratio, out.data(), message), FP_OK);
    const size_t length = size_t(out[20]) * 256 + out[21];
    // The harness writes the checksum of a container cut after its stream.
    Write("container", "ratio_" + std::to_string(ratio), Bytes(out.begin(), out.begin() + long(22 + length)));
    if (ratio == 15) Write("container", "whole", out);
  }

  const Bytes bmp = Bmp(print, FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT);
  Write("fplib_bmp", "bmp_header", Bytes(bmp.begin(), bmp.begin() + 1078));
  Bytes tall(bmp.begin(), bmp.begin() + 1078);
  tall[22] = 359 & 0xFF;  // height 359: taken as raw pixels
  Write("fplib_bmp", "bmp_height_359", tall);
  Write("fplib_bmp", "raw", Bytes(print.begin(), print.begin() + 64));

  Write("livescan_bmp", "small", Bmp(wsqtest::SyntheticPrint(16, 12, 4), 16, 12));
  Write("livescan_bmp", "odd_width", Bmp(wsqtest::SyntheticPrint(13, 7, 4), 13, 7));
  for (auto [w, h] : {std::pair{256, 360}, {640, 640}}) {
    const Bytes big = Bmp(wsqtest::SyntheticPrint(w, h, 5), w, h);
    Write("livescan_bmp", "header_" + std::to_string(w) + "x" + std::to_string(h),
          Bytes(big.begin(), big.begin() + 1080));
  }
}

TEST_F(Seeds, FlashRecords) {
  uint8_t settings[belnor::kSettingsRecordSize];
  belnor::SettingsRecord record = belnor::FreshSettingsRecord();
  record.attr = ImgAttr{1, 1, 0, 30, 40, 4650, 8, -8, 0};
  belnor::EncodeSettingsRecord(record, settings);
  const Bytes product = {'A', 'B', 'C', '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', 'X', 'Y', 'Z',
                         0xEA, 0x07, 12, 9, 7, 0, 0, 0};
  // Chunked reads answer with replies of a count and up to 10 bytes.
  auto replies = [](const uint8_t *data, size_t n) {
    Bytes out;
    for (size_t i = 0; i < n; i += 10) {
      Bytes reply(11, 0);
      reply[0] = uint8_t(std::min<size_t>(10, n - i));
      std::copy(data + i, data + i + reply[0], reply.begin() + 1);
      out.insert(out.end(), reply.begin(), reply.end());
    }
    return out;
  };
  for (int type = 0; type < 2; ++type)
    Write("flash_records", "chunked_type" + std::to_string(type + 1),
          Concat({Bytes{uint8_t(type)}, replies(settings, sizeof settings), replies(product.data(), product.size())}));
  Write("flash_records", "blank_type1", Bytes(1 + 2 * 11, 0xFF));
  // Type 5 reads page 2, which holds the product record and, 0x20 on, the settings.
  Bytes page(1024, 0xFF);
  std::copy(product.begin(), product.end(), page.begin());
  std::copy(settings, settings + sizeof settings, page.begin() + 0x20);
  Write("flash_records", "page_type5", Concat({Bytes{3}, page}));

  const int types[] = {1, 2, 4, 5};
  for (int i = 0; i < 4; ++i) {
    Write("calibration", "builtin_type" + std::to_string(types[i]),
          Concat({Bytes{uint8_t(i)}, belnor::sim::BuiltinCalibRecord(types[i])}));
  }
  Write("calibration", "translation_type1",
        Concat({Bytes{0}, belnor::sim::EncodeCalibRecord(belnor::sim::TranslationGrid(640, 640, 392, 172), 1424, 984,
                                                         false)}));
}

TEST_F(Seeds, MosaicImages) {
  const Bytes print = wsqtest::SyntheticPrint(64, 64, 6);
  auto seed = [&](unsigned w, unsigned h, int frames) {
    return Concat({Bytes{uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), uint8_t(frames)}, print});
  };
  Write("mosaic", "small_two_frames", seed(0, 0, 2));
  Write("mosaic", "roll_640", seed(576, 576, 3));
  Write("mosaic", "largest", seed(0xFFFF, 0xFFFF, 1));
}

}  // namespace
