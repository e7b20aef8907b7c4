#include "image_attr_mapping.h"

#include <cmath>

namespace belnor {

int BrightnessToDevice(int devType, int value) {
  if (devType == 2) return 255 - value;
  if (devType == 5) return value >> 1;
  return value;
}

int ContrastToDevice(int devType, int value) { return devType == 5 ? value >> 1 : value; }

int BrightnessFromDevice(int devType, int16_t deviceValue) {
  return devType == 5 ? deviceValue + 127 : deviceValue;
}

int ContrastFromDevice(int devType, uint16_t deviceValue) {
  return devType == 5 ? deviceValue * 2 : deviceValue;
}

int ExposureToAbsolute(int exposure) {
  return int(std::pow(2.0, exposure) * 10000.0 + 0.4);
}

bool ExposureFromAbsolute(uint32_t absolute, int *exposure) {
  if (absolute == 0) return false;
  *exposure = int(std::log2(double(absolute) / 10000.0));
  return true;
}

}  // namespace belnor
