#include "capture_modes.h"

namespace {
const CaptureMode kModes[kCaptureModeCount] = {
    {256, 360, kFlatMode, {0, 0, 0}},    // rb256
    {400, 400, kFlatMode, {0, 0, 0}},    // rb400
    {640, 640, kRollMode, {0, 0, 0}},    // rbRoll
    {1600, 1500, kFlatMode, {1, 0, 0}},  // rbLeft
    {1600, 1500, kFlatMode, {0, 1, 0}},  // rbThumb
    {1600, 1500, kFlatMode, {0, 0, 1}},  // rbRight
};
}  // namespace

const CaptureMode *CaptureModeAt(int index) {
  return index >= 0 && index < kCaptureModeCount ? &kModes[index] : nullptr;
}
