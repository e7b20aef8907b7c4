// vscanner-factory: writes the flash image of a freshly made scanner, as
// the factory does: a product-information record (serial, date, operator)
// and a calibration record, at the addresses of the model's type. An
// existing image is updated in place; a new one starts blank (0xFF).
//
//   vscanner-factory --model 8899:1003 --out flash.bin [--serial S]
//                    [--date YYYY-MM-DD] [--operator N] [--calib translate|none]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "factory_records.h"
#include "models.h"

namespace {

int Usage(const char* why) {
    std::fprintf(stderr,
                 "vscanner-factory: %s\n"
                 "usage: vscanner-factory --model VID:PID --out FILE [--serial S] [--date YYYY-MM-DD]\n"
                 "                        [--operator N] [--calib translate|none]\n",
                 why);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string model, out, serial, date = "2024-01-01", calib = "translate";
    long op = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return Usage(("missing value of " + arg).c_str());
        const char* value = argv[++i];
        if (arg == "--model")
            model = value;
        else if (arg == "--out")
            out = value;
        else if (arg == "--serial")
            serial = value;
        else if (arg == "--date")
            date = value;
        else if (arg == "--operator")
            op = std::strtol(value, nullptr, 10);
        else if (arg == "--calib")
            calib = value;
        else
            return Usage(("unknown option " + arg).c_str());
    }
    unsigned vid = 0, pid = 0;
    if (std::sscanf(model.c_str(), "%x:%x", &vid, &pid) != 2)
        return Usage("--model VID:PID is required");
    const vscanner::Model* m = vscanner::FindModel(uint16_t(vid), uint16_t(pid));
    if (!m)
        return Usage("no such model");
    if (out.empty())
        return Usage("--out FILE is required");
    int year = 0, month = 0, day = 0;
    if (std::sscanf(date.c_str(), "%d-%d-%d", &year, &month, &day) != 3 || month < 1 || month > 12 || day < 1 ||
        day > 31 || year < 0 || year > 65535)
        return Usage("--date must be YYYY-MM-DD");
    if (op < 0 || op > 65535)
        return Usage("--operator must be 0..65535");
    if (calib != "translate" && calib != "none")
        return Usage("--calib must be translate or none");
    if (serial.empty()) {
        char s[17];
        std::snprintf(s, sizeof s, "VS%04X%010d", pid, 1);
        serial = s;
    }
    if (serial.size() > 16)
        return Usage("a serial has at most 16 characters");

    std::vector<uint8_t> flash(vscanner::kFlashSize, 0xFF);
    {
        std::ifstream in(out, std::ios::binary);
        if (in)
            in.read(reinterpret_cast<char*>(flash.data()), vscanner::kFlashSize);
    }
    const vscanner::RecordAddresses layout = vscanner::RecordAddressesOf(m->type);
    vscanner::FactoryRecords records;
    records.serial = serial;
    records.year = year;
    records.month = month;
    records.day = day;
    records.op = int(op);
    vscanner::PutRecord(flash, layout.productInfo, vscanner::ProductRecord(records));
    if (calib == "translate" && layout.calibration)
        vscanner::PutRecord(flash, layout.calibration, vscanner::TranslationCalibration(*m));
    std::ofstream o(out, std::ios::binary | std::ios::trunc);
    o.write(reinterpret_cast<const char*>(flash.data()), vscanner::kFlashSize);
    if (!o) {
        std::fprintf(stderr, "vscanner-factory: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("%s: %04x:%04x (type %d), serial %.16s, product info at 0x%X", out.c_str(), vid, pid, m->type,
                serial.c_str(), layout.productInfo);
    if (calib == "translate" && layout.calibration)
        std::printf(", calibration at 0x%X", layout.calibration);
    std::printf("\n");
    return 0;
}
