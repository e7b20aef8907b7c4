// Flash images and loaders shared by the calibration tests.
#pragma once

#include <cstring>
#include <vector>

#include "calibration_loader.h"

namespace calibtest {

// A reader over a flash image that holds the calibration area at offset 0;
// reads beyond it fail, as a short flash read does.
inline belnor::CalibReader FlashImage(const std::vector<uint8_t> &bytes) {
  return [bytes](uint32_t offset, uint8_t *out, size_t length) {
    if (offset > bytes.size() || length > bytes.size() - offset) return false;
    std::memcpy(out, bytes.data() + offset, length);
    return true;
  };
}

struct Sensor {
  int type, width, height;
};
constexpr Sensor kType1{1, 1424, 984};
constexpr Sensor kType5{5, 2592, 1944};

}  // namespace calibtest
