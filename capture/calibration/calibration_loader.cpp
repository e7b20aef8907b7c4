// Choosing between the stored and the built-in calibration grid.
#include "calibration_loader.h"

#include <vector>

namespace belnor {
namespace {

// The stored grid, when it reads back whole and passes every check.
bool ReadStoredGrid(const CalibReader &read, int sensorWidth, int sensorHeight, CalibGrid *grid) {
  uint8_t header[kCalibHeaderSize] = {};
  if (!read(0, header, sizeof header)) return false;
  const CalibHeader h = ParseCalibHeader(header);
  const size_t length = CalibDataLength(h);
  if (length == 0) return false;
  std::vector<uint8_t> data(length);
  if (!read(uint32_t(kCalibHeaderSize), data.data(), length)) return false;
  return ParseCalibData(h, data.data(), length, sensorWidth, sensorHeight, grid);
}

}  // namespace

int LoadCalibration(int deviceType, int sensorWidth, int sensorHeight, const CalibReader &read,
                    LoadedCalibration *out) {
  *out = LoadedCalibration{};
  const BuiltinGrid *builtin = FindBuiltinGrid(deviceType);
  if (builtin == nullptr) {
    out->maps.width = out->maps.height = 640;
    return 1;
  }
  // A stored grid that cannot be turned into maps, for whatever reason, gives
  // way to the built-in one; only the built-in grid's failure fails.
  CalibGrid stored;
  if (ReadStoredGrid(read, sensorWidth, sensorHeight, &stored) &&
      MakeRemapMaps(std::move(stored), sensorWidth, sensorHeight, &out->maps) == MapBuild::kBuilt) {
    out->source = CalibSource::kStored;
    return 1;
  }
  if (MakeRemapMaps(GridFromBuiltin(*builtin), sensorWidth, sensorHeight, &out->maps) !=
      MapBuild::kBuilt)
    return 0;
  out->source = CalibSource::kBuiltin;
  return 1;
}

}  // namespace belnor
