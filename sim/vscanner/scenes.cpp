#include "scenes.h"

#include <cmath>
#include <cstdio>

namespace vscanner {

int RenderTestPattern(void*, uint64_t frame, int width, int height, uint8_t* light) {
    if (frame != 0)
        return 0; // a still picture
    const double cx = width / 2.0, cy = height / 2.0;
    const double rx = width / 6.0, ry = height / 4.0;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = light + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            double v = 120.0 + 80.0 * x / width + 40.0 * y / height;
            if (x % 64 == 0 || y % 64 == 0)
                v = 40.0;
            const double dx = (x - cx) / rx, dy = (y - cy) / ry;
            const double r2 = dx * dx + dy * dy;
            if (r2 < 1.0) {
                const double r = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
                v = 110.0 + 70.0 * std::cos(r * (2.0 * M_PI / 9.0));
            }
            row[x] = uint8_t(v);
        }
    }
    return 1;
}

Scene SceneByName(const std::string& name) {
    static const struct {
        const char* name;
        vscanner_scene_fn fn;
    } kScenes[] = {
        {"pattern", RenderTestPattern},
    };
    for (const auto& s : kScenes)
        if (name == s.name)
            return {s.fn, nullptr};
    std::fprintf(stderr, "vscanner: no scene '%s', showing the test pattern\n", name.c_str());
    return {RenderTestPattern, nullptr};
}

} // namespace vscanner
