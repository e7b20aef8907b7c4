// Kept apart from the records: the factory tool is built without the
// scanner's optics.
#include "calib_record_writer.h"
#include "factory_records.h"

namespace vscanner {

std::vector<uint8_t> FactoryImage(const Model& m, const std::string& usbSerial) {
    std::vector<uint8_t> flash(kFlashSize, 0xFF);
    const RecordAddresses at = RecordAddressesOf(m.type);
    FactoryRecords records;
    records.serial = ProductSerial(usbSerial);
    PutRecord(flash, at.productInfo, ProductRecord(records));
    PutRecord(flash, at.settings, SettingsRecord(m.type));
    if (at.calibration)
        PutRecord(flash, at.calibration, belnor::sim::BuiltinCalibRecord(m.type));
    return flash;
}

} // namespace vscanner
