#include "config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vscanner_control.h"

namespace vscanner {

namespace {

const char* Env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(sep, start);
        if (end == std::string::npos)
            end = s.size();
        std::string part = s.substr(start, end - start);
        if (!part.empty())
            parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

bool ParseFormats(const std::string& text, std::vector<Format>* out) {
    std::vector<Format> formats;
    for (const std::string& name : Split(text, '+')) {
        Format f;
        if (name == "yuyv")
            f = Format::Yuyv;
        else if (name == "mjpeg")
            f = Format::Mjpeg;
        else if (name == "uyvy")
            f = Format::Uyvy;
        else if (name == "gray8")
            f = Format::Gray8;
        else
            return false;
        formats.push_back(f);
    }
    if (formats.empty())
        return false;
    *out = formats;
    return true;
}

bool ParseFaults(const std::string& text, char sep, std::vector<std::pair<int, int>>* out) {
    for (const std::string& name : Split(text, sep)) {
        const int fault = FaultByName(name);
        if (!fault)
            return false;
        out->emplace_back(fault, -1);
    }
    return true;
}

// "VID:PID/key=value/..." where a flash path may hold slashes: inside it a
// slash starts a new item only before a known key.
std::vector<std::string> DeviceItems(const std::string& item) {
    static const char* const kKeys[] = {"serial=", "format=", "fps=", "flash=", "faults="};
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= item.size(); ++i) {
        bool cut = i == item.size();
        if (!cut && item[i] == '/') {
            cut = item.compare(start, 6, "flash=") != 0;
            for (const char* key : kKeys)
                cut = cut || item.compare(i + 1, std::strlen(key), key) == 0;
        }
        if (cut) {
            if (i > start)
                parts.push_back(item.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

void Warn(const std::string& what) {
    std::fprintf(stderr, "vscanner: ignoring %s\n", what.c_str());
}

} // namespace

void ApplyFlashSetting(const std::string& value, DeviceConfig* dev) {
    dev->factoryFlash = value != "blank";
    dev->flashPath = value == "blank" || value == "factory" ? std::string() : value;
}

int FaultByName(const std::string& name) {
    static const struct {
        const char* name;
        int fault;
    } kFaults[] = {
        {"no_frames", VSCANNER_FAULT_NO_FRAMES},
        {"short_frame", VSCANNER_FAULT_SHORT_FRAME},
        {"corrupt_frame", VSCANNER_FAULT_CORRUPT_FRAME},
        {"control_stall", VSCANNER_FAULT_CONTROL_STALL},
        {"control_timeout", VSCANNER_FAULT_CONTROL_TIMEOUT},
        {"flash_count_zero", VSCANNER_FAULT_FLASH_COUNT_ZERO},
        {"flash_count_bad", VSCANNER_FAULT_FLASH_COUNT_BAD},
        {"flash_crc", VSCANNER_FAULT_FLASH_CRC},
        {"open_access", VSCANNER_FAULT_OPEN_ACCESS},
        {"claim_busy", VSCANNER_FAULT_CLAIM_BUSY},
    };
    for (const auto& f : kFaults)
        if (name == f.name)
            return f.fault;
    return 0;
}

BusConfig ReadConfig(const char* devices) {
    BusConfig config;
    const char* spec = devices ? devices : Env("VSCANNER_DEVICES");
    if (!spec)
        spec = "8899:1003";
    config.scene = Env("VSCANNER_SCENE") ? Env("VSCANNER_SCENE") : "operator";
    config.trace = Env("VSCANNER_TRACE") && std::strcmp(Env("VSCANNER_TRACE"), "0") != 0;

    std::vector<Format> globalFormats;
    if (const char* f = Env("VSCANNER_FORMAT"))
        if (!ParseFormats(f, &globalFormats))
            Warn(std::string("VSCANNER_FORMAT=") + f);
    double globalFps = 10.0;
    if (const char* f = Env("VSCANNER_FPS")) {
        char* end = nullptr;
        const double v = std::strtod(f, &end);
        if (end && *end == '\0' && v > 0 && v <= 1000)
            globalFps = v;
        else
            Warn(std::string("VSCANNER_FPS=") + f);
    }
    std::vector<std::pair<int, int>> globalFaults;
    if (const char* f = Env("VSCANNER_FAULTS"))
        if (!ParseFaults(f, ',', &globalFaults))
            Warn(std::string("VSCANNER_FAULTS=") + f);

    for (const std::string& item : Split(spec, ',')) {
        std::vector<std::string> parts = DeviceItems(item);
        unsigned vid = 0, pid = 0;
        char tail = 0;
        if (parts.empty() || std::sscanf(parts[0].c_str(), "%x:%x%c", &vid, &pid, &tail) != 2) {
            Warn("device '" + item + "'");
            continue;
        }
        DeviceConfig dev;
        dev.model = FindModel(uint16_t(vid), uint16_t(pid));
        if (!dev.model || vid > 0xFFFF || pid > 0xFFFF) {
            Warn("device '" + item + "' (no such model)");
            continue;
        }
        const int number = int(config.devices.size());
        char serial[32];
        std::snprintf(serial, sizeof serial, "VS%04X%s%d", pid, "D", number);
        dev.serial = serial;
        dev.formats = globalFormats.empty() ? std::vector<Format>{DefaultFormat(*dev.model)}
                                            : globalFormats;
        dev.fps = globalFps;
        dev.faults = globalFaults;
        if (number == 0 && Env("VSCANNER_FLASH"))
            ApplyFlashSetting(Env("VSCANNER_FLASH"), &dev);
        for (size_t i = 1; i < parts.size(); ++i) {
            const size_t eq = parts[i].find('=');
            const std::string key = parts[i].substr(0, eq);
            const std::string value = eq == std::string::npos ? "" : parts[i].substr(eq + 1);
            bool ok = eq != std::string::npos;
            if (!ok) {
            } else if (key == "serial") {
                ok = !value.empty();
                dev.serial = value;
            } else if (key == "format") {
                ok = ParseFormats(value, &dev.formats);
            } else if (key == "fps") {
                char* end = nullptr;
                const double v = std::strtod(value.c_str(), &end);
                ok = end && *end == '\0' && v > 0 && v <= 1000;
                if (ok)
                    dev.fps = v;
            } else if (key == "flash") {
                ApplyFlashSetting(value, &dev);
            } else if (key == "faults") {
                ok = ParseFaults(value, '+', &dev.faults);
            } else {
                ok = false;
            }
            if (!ok)
                Warn("'" + parts[i] + "' of device '" + item + "'");
        }
        config.devices.push_back(dev);
    }
    return config;
}

} // namespace vscanner
