#include "factory_records.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace vscanner {

namespace {

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

} // namespace

std::vector<uint8_t> ProductRecord(const FactoryRecords& r) {
    // 16 serial characters (not terminated), year, month, day, operator, 2
    // reserved bytes.
    std::vector<uint8_t> info(24, 0);
    std::memcpy(info.data(), r.serial.data(), std::min<size_t>(r.serial.size(), 16));
    Put16(info, 16, unsigned(r.year));
    info[18] = uint8_t(r.month);
    info[19] = uint8_t(r.day);
    Put16(info, 20, unsigned(r.op));
    return info;
}

std::vector<uint8_t> SettingsRecord(int type) {
    struct Attrs {
        uint8_t bright, contrast;
        uint16_t wb;
        uint8_t gain;
        int8_t exposure;
        uint8_t gamma;
    };
    Attrs a;
    switch (type) {
    case 2:
        a = {73, 60, 4000, 4, -5, 75};
        break;
    case 5:
        a = {0, 56, 4600, 1, -6, 100};
        break;
    default:
        a = {95, 100, 4650, 8, -8, 0};
        break;
    }
    // Magic "FS", version 3, the three switches off, then the attributes.
    std::vector<uint8_t> r(16, 0);
    Put16(r, 0, 0x5346);
    Put16(r, 2, 3);
    r[7] = a.bright;
    r[8] = a.contrast;
    Put16(r, 9, a.wb);
    r[11] = a.gain;
    r[12] = uint8_t(a.exposure);
    r[13] = a.gamma;
    return r;
}

std::vector<uint8_t> TranslationCalibration(const Model& m) {
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
    std::vector<uint8_t> record(16 + data.size(), 0);
    record[0] = 'A';
    record[1] = 'B';
    Put16(record, 2, 0x0110);
    Put16(record, 4, unsigned(data.size()));
    Put16(record, 6, unsigned(g.nx));
    Put16(record, 8, unsigned(g.ny));
    Put16(record, 10, unsigned(m.width));
    Put16(record, 12, unsigned(m.height));
    Put16(record, 14, CalibCrc16(data));
    std::copy(data.begin(), data.end(), record.begin() + 16);
    return record;
}

std::string ProductSerial(const std::string& usbSerial) {
    std::string s;
    for (char c : usbSerial)
        if (std::isalnum(static_cast<unsigned char>(c)) && s.size() < 16)
            s += c;
    s.resize(16, '0');
    return s;
}

void PutRecord(std::vector<uint8_t>& flash, uint32_t address, const std::vector<uint8_t>& record) {
    if (address <= flash.size() && record.size() <= flash.size() - address)
        std::memcpy(flash.data() + address, record.data(), record.size());
}

} // namespace vscanner
