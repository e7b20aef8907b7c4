// Grey images kept as PNG files for a person to look at.
#ifndef QUISAL_TESTS_GREY_PNG_H
#define QUISAL_TESTS_GREY_PNG_H

#include <string>
#include <vector>

namespace mosaic_test {

// An 8-bit grey PNG (uncompressed); false when the file cannot be written.
bool WriteGreyPng(const std::string &path, const std::vector<unsigned char> &pixels, int width, int height);

}  // namespace mosaic_test

#endif
