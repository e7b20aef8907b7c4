// Conversion of camera frames to 8-bit grey.
#pragma once

#include <cstddef>
#include <cstdint>

namespace belnor {

// Luminance of a packed YUYV frame. False (nothing written) when bytes is
// less than width * height * 2.
bool YuyvToGrey(const uint8_t* yuyv, size_t bytes, int width, int height, uint8_t* grey);

// Decodes one MJPEG frame to width * height grey bytes. A frame without
// Huffman tables gets the standard ones. bottomUp stores the decoded rows in
// reverse order. False when the frame does not decode to exactly that size.
bool MjpegToGrey(const uint8_t* jpeg, size_t bytes, int width, int height, uint8_t* grey,
                 bool bottomUp);

// In place: bitwise complement of every pixel and/or rows in reverse order.
void InvertAndFlip(uint8_t* image, int width, int height, bool invert, bool flip);
// In place: every row reversed left to right.
void MirrorRows(uint8_t* image, int width, int height);

}  // namespace belnor
