// Helpers of the libminutia tests: a scratch working directory (the step log
// writes into it), the sample prints cut to 256 x 360, and BMP wrapping.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fptest {

// Runs each test in a fresh temporary directory and starts the library.
class FpLibTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string ReadLogFile() const;
  std::filesystem::path dir_, previous_;
};

// Folder of the sample prints, empty when absent.
std::filesystem::path SampleDir();
// Impression `impression` of finger `finger` cut (centred) to 256 x 360; empty
// when the file is missing.
std::vector<uint8_t> LoadSample(int finger, int impression);
// A 256 x 360 synthetic print with a plain ridge pattern.
std::vector<uint8_t> SyntheticPrint(unsigned seed = 1);
// 8-bit BMP file of a raw image: 1078-byte header, rows bottom-up.
std::vector<uint8_t> WrapBmp(const std::vector<uint8_t> &raw, int width, int height);

}  // namespace fptest
