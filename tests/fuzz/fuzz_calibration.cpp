// Fuzz target: the calibration record as the scanner's flash holds it. Byte 0
// picks the scanner type (its sensor size); the rest is the calibration area.
// A record the parser accepts must give maps that stay inside the sensor.
#include <cstdint>
#include <cstdlib>

#include "calib_grids.h"
#include "calibration_maps.h"
#include "calibration_record.h"
#include "fuzz_input.h"
#include "remap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace belnor;
  static const int kTypes[] = {1, 2, 4, 5};
  const BuiltinGrid *builtin = FindBuiltinGrid(kTypes[fuzz::Byte(data, size, 0) % 4]);
  if (!builtin || size < 1) return 0;
  const int sw = builtin->sensorWidth, sh = builtin->sensorHeight;
  // The area exactly as long as the input: reads past it are the parser's.
  const std::vector<uint8_t> area(data + 1, data + size);
  CalibGrid grid;
  // Header, then data, as the loader reads them.
  if (area.size() < kCalibHeaderSize) return 0;
  if (!ParseCalibData(ParseCalibHeader(area.data()), area.data() + kCalibHeaderSize, area.size() - kCalibHeaderSize,
                      sw, sh, &grid))
    return 0;
  if (!CalibGridPlausible(grid, sw, sh)) std::abort();
  RemapMaps maps;
  if (MakeRemapMaps(std::move(grid), sw, sh, &maps) != MapBuild::kBuilt) return 0;
  if (maps.width <= 0 || maps.height <= 0 || maps.width > sw || maps.height > sh) std::abort();
  if (!RemapMapsInside(maps.x.get(), maps.y.get(), maps.width, maps.height, sw, sh)) std::abort();
  // A frame of exactly the sensor's size: AddressSanitizer sees a stray read.
  static std::vector<uint8_t> frame;
  frame.assign(size_t(sw) * size_t(sh), 128);
  std::vector<uint8_t> out(size_t(maps.width) * size_t(maps.height));
  RemapBilinear(out.data(), maps.width, maps.height, frame.data(), sw, maps.x.get(), maps.y.get());
  return 0;
}
