// A scanner's optics: the corrected image a scene should give, rendered as
// the sensor frame the camera sends, through the same calibration maps the
// capture library builds from the scanner's flash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "calibration_loader.h"

namespace belnor::sim {

// Sensor size of a device type (0 x 0 for an unknown one).
void SensorSize(int deviceType, int *width, int *height);

class ScannerOptics {
 public:
  // record: the scanner's calibration area (header and data), as stored at
  // its calibration address; empty, erased or implausible records select the
  // built-in grid, exactly as the library decides.
  ScannerOptics(int deviceType, const std::vector<uint8_t> &record);

  int deviceType() const { return type_; }
  int sensorWidth() const { return sensorW_; }
  int sensorHeight() const { return sensorH_; }
  int correctedWidth() const { return cal_.maps.width; }
  int correctedHeight() const { return cal_.maps.height; }
  CalibSource source() const { return cal_.source; }
  const LoadedCalibration &calibration() const { return cal_; }

  // corrected: correctedWidth x correctedHeight (see ViewToCorrected).
  // frame: sensorWidth x sensorHeight bytes as the camera sends them: types 2
  // and 5 inverted, type 5 upside down, so that the library's own inversion
  // and flip restore the optical image. Sensor pixels outside the platen's
  // image show bare platen.
  void Render(const uint8_t *corrected, uint8_t *frame) const;

  // What the capture library makes of a frame before its later steps: the
  // inversion (types 2 and 5), the flip (type 5) and the remap into the
  // corrected image (correctedWidth x correctedHeight); a type without
  // optics gets the middle of the frame.
  void Correct(const uint8_t *frame, uint8_t *corrected) const;

  // A rectangle of frame pixels [x0, x1) x [y0, y1), in frame coordinates
  // (as the camera sends them).
  struct FrameRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
    size_t size() const { return empty() ? 0 : size_t(x1 - x0) * size_t(y1 - y0); }
  };
  // The frame pixels whose value depends on the corrected pixels in
  // [x0, x1) x [y0, y1): a change there shows only inside this rectangle.
  FrameRect Reach(int x0, int y0, int x1, int y1) const;
  // Render for the pixels of rect alone, written row by row into out
  // (rect.x1 - rect.x0 bytes a row).
  void Render(const uint8_t *corrected, const FrameRect &rect, uint8_t *out) const;

 private:
  // Per sensor pixel the corrected-image position it shows, held to the
  // image: the pixel at or left of and above it, and the fractions beyond
  // in 256ths; x = kNone where the sensor sees no part of the image.
  struct Source {
    uint16_t x, y;
    uint8_t fx, fy;
  };
  static constexpr uint16_t kNone = 0xFFFF;
  void Place(size_t pixel, float x, float y);

  // Sensor pixels are indexed by blocks of kBlock x kBlock for Reach.
  static constexpr int kBlock = 16;
  void IndexBlocks();
  struct SourceBox {
    float x0, y0, x1, y1;  // x0 > x1 when no pixel of the block shows the image
  };

  int type_, sensorW_ = 0, sensorH_ = 0;
  LoadedCalibration cal_;
  std::vector<Source> sources_;
  std::vector<SourceBox> blocks_;
  int blocksW_ = 0, blocksH_ = 0;
};

// The optics of a type and record, made once per process and shared: making
// them inverts every sensor pixel's position.
std::shared_ptr<const ScannerOptics> SharedOptics(int deviceType, const std::vector<uint8_t> &record);

// The platen grey outside the scene.
constexpr uint8_t kOutsideGrey = 236;

// The value a sensor pixel showing `grey` sends: types 2 and 5 send it
// inverted.
inline uint8_t SensorLevel(int deviceType, uint8_t grey) {
  return deviceType == 2 || deviceType == 5 ? uint8_t(255 - grey) : grey;
}

}  // namespace belnor::sim
