// Reading a grey (8-bit, or 24-bit made grey) BMP file for image scenes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace belnor::sim {

struct GreyImage {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;  // top row first
};

// False for a missing, truncated or unsupported file.
bool ReadGreyBmp(const std::string &path, GreyImage *image);

}  // namespace belnor::sim
