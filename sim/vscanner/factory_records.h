// The records a scanner leaves the factory with, at the flash addresses of
// its type: product information (serial, date, operator), the settings
// record and the calibration. The factory tool writes them into a flash
// image; a virtual scanner without an image file starts with them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "models.h"

namespace vscanner {

constexpr uint32_t kFlashSize = 4u << 20;

struct FactoryRecords {
    std::string serial; // at most 16 characters
    int year = 2024, month = 1, day = 1, op = 1;
};

// The 24-byte product-information record.
std::vector<uint8_t> ProductRecord(const FactoryRecords& r);

// The 16-byte settings record with the image attributes the capture
// library would give the type on a blank flash.
std::vector<uint8_t> SettingsRecord(int type);

// A calibration that maps the corrected image onto the middle of the
// sensor without distortion: each grid node lies at its own position plus
// a fixed offset.
std::vector<uint8_t> TranslationCalibration(const Model& m);

// The product serial of a scanner known by its USB serial: its letters and
// digits, filled up to 16 with zeros.
std::string ProductSerial(const std::string& usbSerial);

// Writes a record at an address of a kFlashSize image.
void PutRecord(std::vector<uint8_t>& flash, uint32_t address, const std::vector<uint8_t>& record);

// The whole flash of a scanner as it leaves the factory: blank but for its
// product information (the serial from its USB serial), its settings and
// the calibration of its optics (the type's built-in grid, which the
// virtual optics follow).
std::vector<uint8_t> FactoryImage(const Model& m, const std::string& usbSerial);

} // namespace vscanner
