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

  int type_, sensorW_ = 0, sensorH_ = 0;
  LoadedCalibration cal_;
  std::vector<Source> sources_;
};

// The optics of a type and record, made once per process and shared: making
// them inverts every sensor pixel's position.
std::shared_ptr<const ScannerOptics> SharedOptics(int deviceType, const std::vector<uint8_t> &record);

// The platen grey outside the scene.
constexpr uint8_t kOutsideGrey = 236;

}  // namespace belnor::sim
