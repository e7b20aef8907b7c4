// Fuzz target: the settings and product records as the scanner's flash hands
// them over. Byte 0 picks the scanner type; the rest are the device's
// answers: 11-byte reply packets of the chunked read (types 1 and 2), or
// 1 KB pages (type 5). The records are then decoded, checked and repaired
// as init does.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "device_models.h"
#include "flash_protocol.h"
#include "fuzz_input.h"
#include "image_attr_mapping.h"
#include "product_info.h"
#include "settings_record.h"

namespace {

using namespace belnor;

// The device: every answer comes from the input, in order, until it runs out.
struct Device {
  const uint8_t *data;
  size_t size, pos = 1;
  int Transfer(const ControlRequest &request, uint8_t *out) {
    if (!(request.requestType & 0x80)) return request.length;  // requests to the device go through
    if (pos >= size) return 0;
    const size_t n = std::min<size_t>(request.length, size - pos);
    std::memcpy(out, data + pos, n);
    pos += n;
    return int(n);
  }
};

void Settings(const uint8_t *bytes, int devType) {
  SettingsRecord record;
  if (!DecodeSettingsRecord(bytes, kSettingsRecordSize, &record)) std::abort();
  RepairSettingsRecord(devType, &record);
  // What init applies must pass the checks a stored record passes.
  if (!IsSettingsRecordValid(record)) std::abort();
  const ImgAttr &a = record.attr;
  BrightnessToDevice(devType, a.Bright);
  ContrastToDevice(devType, a.Contrast);
  ExposureToAbsolute(a.Exposure);
  uint8_t again[kSettingsRecordSize];
  EncodeSettingsRecord(record, again);
  SettingsRecord back;
  if (!DecodeSettingsRecord(again, sizeof again, &back) || std::memcmp(&back, &record, sizeof back) != 0)
    std::abort();
}

void Product(const uint8_t *bytes) {
  ProductInfo info;
  if (!DecodeProductInfo(bytes, kProductInfoSize, &info)) std::abort();
  HasValidSerial(info);
  uint8_t again[kProductInfoSize];
  EncodeProductInfo(info, again);
  if (std::memcmp(again, bytes, sizeof again) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const int kTypes[] = {1, 2, 4, 5};
  const int devType = kTypes[fuzz::Byte(data, size, 0) % 4];
  const FlashLayout layout = FlashLayoutOfType(devType);
  Device device{data, size};
  const ControlTransferFn transfer = [&device](const ControlRequest &r, uint8_t *out) {
    return device.Transfer(r, out);
  };
  uint8_t settings[kSettingsRecordSize] = {}, product[kProductInfoSize] = {};
  if (devType == 5) {
    Type5PageCache cache;
    cache.Read(transfer, layout.settingsAddress, settings, sizeof settings);
    cache.Read(transfer, layout.productInfoAddress, product, sizeof product);
  } else {
    // A last reply may count more than the record still needs: it is cut.
    ChunkedFlashRead(transfer, layout.settingsAddress, settings, sizeof settings);
    ChunkedFlashRead(transfer, layout.productInfoAddress, product, sizeof product);
  }
  Settings(settings, devType);
  Product(product);
  return 0;
}
