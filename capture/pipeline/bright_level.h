// Automatic brightness and contrast: the bright (background) level of a
// corrected image, the step it calls for, and the step itself on the
// scanner's controls.
#pragma once

#include <cstdint>

namespace belnor {

// Histogram of every 4th pixel (indices 0, 4, 8, ...) into histogram (added
// to, not cleared) and the mean of the samples no darker than the sample mean
// less 19: the level of the bright background. 0 for an empty image.
int MeasureBrightLevel(const uint8_t *image, int width, int height, uint32_t histogram[256]);

// Lowest grey level counted more than 100 times, or -1 when there is none.
int LowestPopulatedLevel(const uint32_t histogram[256]);

enum class LevelStep { kNone, kRaise, kLower };

// The step for bright level m (0..255) and lowest populated level i (-1 for
// none).
LevelStep DecideLevelStep(int m, int i);

// Brightness and contrast as the loop counts them: brightness rising with
// the brightness of the delivered image, contrast in the camera's units.
struct LevelSetting {
  int bright;
  int contrast;
};

// The scanner's current setting; what cannot be read stays at 95 / 100.
LevelSetting ReadLevelSetting(int devType);

// The setting after one step (unchanged for kNone), within the loop's
// limits: brightness 50..256, contrast 80..150.
LevelSetting NextLevelSetting(LevelSetting now, LevelStep step);

// Sends what changed to the scanner through the exported setters; their
// errors are ignored (the next frame tries again).
void WriteLevelSetting(int devType, LevelSetting now, LevelSetting next);

// One frame of the loop on a corrected image: measures, decides and steps.
// Returns the bright level.
int AutoAdjustLevels(int devType, const uint8_t *image, int width, int height);

}  // namespace belnor
