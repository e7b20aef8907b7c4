// Test helpers: JPEG frames as a camera sends them.
#pragma once

#include <cstdint>
#include <vector>

namespace belnor_test {

// Encodes a grey image as a baseline JPEG; colour encodes it as YCbCr 4:2:2
// with neutral chroma, as a YUYV camera's MJPEG stream would be.
std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& grey, int width, int height,
                                bool colour, int quality = 95);

// The same stream without its Huffman table segments.
std::vector<uint8_t> StripHuffmanTables(const std::vector<uint8_t>& jpeg);

// A smooth test picture that survives JPEG well.
std::vector<uint8_t> Gradient(int width, int height);

}  // namespace belnor_test
