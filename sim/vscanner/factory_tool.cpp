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

#include "models.h"

namespace {

constexpr uint32_t kFlashSize = 4u << 20;

// The corrected image and grid of each type's calibration.
struct Grid {
    int width, height, nx, ny;
};

Grid GridOf(int type) {
    switch (type) {
    case 2:
        return {360, 258, 9, 7};
    case 4:
        return {2304, 2304, 17, 17};
    case 5:
        return {1600, 1500, 17, 16};
    default:
        return {640, 640, 11, 11};
    }
}

// Grid positions in whole pixels: even steps, the last one on the last
// pixel (odd), so that the host keeps them as they are.
std::vector<int> Positions(int size, int n) {
    std::vector<int> p(static_cast<size_t>(n));
    const int step = (size + n - 2) / (n - 1);
    for (int i = 0; i < n; ++i)
        p[size_t(i)] = i * step;
    p[size_t(n - 1)] = size - 1;
    return p;
}

uint16_t CalibCrc16(const std::vector<uint8_t>& data) {
    uint16_t table[256];
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 16;
        for (int k = 0; k < 8; ++k)
            if (c & (1u << (23 - k)))
                c ^= 0xC01080u >> k;
        table[i] = uint16_t(c);
    }
    uint16_t reg = 0xC010;
    for (uint8_t b : data)
        reg = uint16_t(table[reg >> 8] ^ uint16_t((reg << 8) | b));
    return reg;
}

void Put16(std::vector<uint8_t>& v, size_t at, unsigned x) {
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}

// A calibration that maps the corrected image onto the middle of the
// sensor without distortion (the virtual optics have none): each grid
// node lies at its own position plus a fixed offset.
std::vector<uint8_t> TranslationCalibration(const vscanner::Model& m) {
    const Grid g = GridOf(m.type);
    const std::vector<int> xs = Positions(g.width, g.nx), ys = Positions(g.height, g.ny);
    const int dx = (m.width - g.width) / 2, dy = (m.height - g.height) / 2;
    std::vector<uint8_t> data;
    auto add = [&](int tenths) {
        data.push_back(uint8_t(tenths));
        data.push_back(uint8_t(tenths >> 8));
    };
    for (int j = 0; j < g.ny; ++j)
        for (int i = 0; i < g.nx; ++i) {
            add((xs[size_t(i)] + dx) * 10);
            add((ys[size_t(j)] + dy) * 10);
        }
    for (int x : xs)
        add(x * 10);
    for (int y : ys)
        add(y * 10);
    std::vector<uint8_t> record(16, 0);
    record[0] = 'A';
    record[1] = 'B';
    Put16(record, 2, 0x0110);
    Put16(record, 4, unsigned(data.size()));
    Put16(record, 6, unsigned(g.nx));
    Put16(record, 8, unsigned(g.ny));
    Put16(record, 10, unsigned(m.width));
    Put16(record, 12, unsigned(m.height));
    Put16(record, 14, CalibCrc16(data));
    record.insert(record.end(), data.begin(), data.end());
    return record;
}

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

    std::vector<uint8_t> flash(kFlashSize, 0xFF);
    {
        std::ifstream in(out, std::ios::binary);
        if (in)
            in.read(reinterpret_cast<char*>(flash.data()), kFlashSize);
    }
    const vscanner::RecordAddresses layout = vscanner::RecordAddressesOf(m->type);
    // ProductInfo: 16 serial characters (not terminated), year, month, day,
    // operator, 2 reserved bytes.
    std::vector<uint8_t> info(24, 0);
    std::memcpy(info.data(), serial.data(), serial.size());
    Put16(info, 16, unsigned(year));
    info[18] = uint8_t(month);
    info[19] = uint8_t(day);
    Put16(info, 20, unsigned(op));
    std::memcpy(&flash[layout.productInfo], info.data(), info.size());
    if (calib == "translate" && layout.calibration) {
        const std::vector<uint8_t> record = TranslationCalibration(*m);
        std::memcpy(&flash[layout.calibration], record.data(), record.size());
    }
    std::ofstream o(out, std::ios::binary | std::ios::trunc);
    o.write(reinterpret_cast<const char*>(flash.data()), kFlashSize);
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
