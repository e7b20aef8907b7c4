#include "bright_level.h"

#include "image_attr.h"
#include "livescan.h"
#include "result_codes.h"

namespace belnor {

int MeasureBrightLevel(const uint8_t *image, int width, int height, uint32_t histogram[256]) {
  const int64_t n = int64_t(width) * height;
  if (n <= 0 || !image) return 0;
  // One pass: the second mean is taken from the histogram of the samples.
  uint32_t local[256] = {};
  int64_t sum = 0;
  for (int64_t k = 0; k < n; k += 4) ++local[image[k]];
  for (int v = 0; v < 256; ++v) {
    sum += int64_t(local[v]) * v;
    if (histogram) histogram[v] += local[v];
  }
  const int64_t mean = 4 * sum / n;
  const int64_t threshold = mean % 256 - 19;
  int64_t s = 0, count = 0;
  for (int v = threshold < 0 ? 0 : int(threshold); v < 256; ++v) {
    s += int64_t(local[v]) * v;
    count += local[v];
  }
  return int(count ? s / count : mean);
}

int LowestPopulatedLevel(const uint32_t histogram[256]) {
  for (int v = 0; v < 256; ++v)
    if (histogram[v] > 100) return v;
  return -1;
}

LevelStep DecideLevelStep(int m, int i) {
  if (m <= 244) return LevelStep::kRaise;
  if (m <= 250 || i < 0) return LevelStep::kNone;
  if (m <= 253) {
    if (i < 30) return LevelStep::kRaise;
    if (i >= 76 && i < 120) return LevelStep::kLower;
    return LevelStep::kNone;
  }
  if (i < 10) return LevelStep::kRaise;
  if (i >= 76 && i < 120) return LevelStep::kLower;
  if (i > 160 && i < m - 30) return LevelStep::kLower;
  return LevelStep::kNone;
}

// The exported setters map their value per type (type 2 sends 255 - value,
// type 5 halves it) and the getters report device units with an offset
// (type 5). The loop reads and writes the camera's own values through the
// exact inverse of those mappings, and counts brightness as the delivered
// image sees it: types 2 and 5 deliver the inverted sensor picture, so the
// camera brightness runs the other way there.
namespace {

bool InvertedPicture(int devType) { return devType == 2 || devType == 5; }

}  // namespace

LevelSetting ReadLevelSetting(int devType) {
  LevelSetting s{95, 100};
  int v = 0;
  if (LIVESCAN_GetBright(0, &v) == LS_OK) {
    const int device = devType == 5 ? v - 127 : v;
    s.bright = InvertedPicture(devType) ? 255 - device : device;
  }
  if (LIVESCAN_GetContrast(0, &v) == LS_OK) s.contrast = devType == 5 ? v / 2 : v;
  return s;
}

LevelSetting NextLevelSetting(LevelSetting now, LevelStep step) {
  LevelSetting next = now;
  if (step == LevelStep::kRaise) {
    if (now.bright < 253) next.bright = now.bright + 4;
    if (now.contrast < 150) next.contrast = now.contrast + 1;
  } else if (step == LevelStep::kLower) {
    if (now.bright > 50) next.bright = now.bright - 4;
    if (now.contrast > 80) next.contrast = now.contrast - 1;
  }
  return next;
}

void WriteLevelSetting(int devType, LevelSetting now, LevelSetting next) {
  if (next.bright != now.bright) {
    const int device = InvertedPicture(devType) ? 255 - next.bright : next.bright;
    // Type 2's setter sends 255 - value; type 5's sends value / 2.
    const int value = devType == 2 ? 255 - device : devType == 5 ? 2 * device : device;
    LIVESCAN_SetBright(0, value);
  }
  if (next.contrast != now.contrast)
    LIVESCAN_SetContrast(0, devType == 5 ? 2 * next.contrast : next.contrast);
}

int AutoAdjustLevels(int devType, const uint8_t *image, int width, int height) {
  uint32_t histogram[256] = {};
  const int m = uint8_t(MeasureBrightLevel(image, width, height, histogram));
  const LevelStep step = DecideLevelStep(m, LowestPopulatedLevel(histogram));
  if (step != LevelStep::kNone) {
    const LevelSetting now = ReadLevelSetting(devType);
    WriteLevelSetting(devType, now, NextLevelSetting(now, step));
  }
  return m;
}

}  // namespace belnor
