#include "scenes.h"

#include <cmath>
#include <cstdio>

#include "finger_scene_source.h"
#include "operator_scene_source.h"

namespace vscanner {

uint64_t StillPicture(void*, uint64_t) {
    return 0;
}

int RenderTestPattern(void*, uint64_t, int width, int height, uint8_t* light) {
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

bool KnownScene(const std::string& name) {
    belnor::sim::SceneSpec spec;
    return name == "pattern" || belnor::sim::ParseSceneSpec(name, &spec);
}

std::string SceneNameOrPattern(const std::string& name) {
    if (KnownScene(name))
        return name;
    std::fprintf(stderr, "vscanner: no scene '%s', showing the test pattern\n", name.c_str());
    return "pattern";
}

struct NamedScenes::Made {
    Made(const std::string& n, const std::vector<uint8_t>& r) : name(n), record(r) {}
    const std::string name;
    const std::vector<uint8_t> record;
    std::unique_ptr<belnor::sim::FingerSceneSource> finger;
    std::unique_ptr<belnor::sim::OperatorSceneSource> operatorScene;
    Scene scene() const {
        // The operator's Render itself says when its picture changes.
        if (operatorScene)
            return {belnor::sim::OperatorSceneSource::Render, operatorScene.get()};
        return {belnor::sim::FingerSceneSource::Render, finger.get(), belnor::sim::FingerSceneSource::PictureOf};
    }
};

NamedScenes::NamedScenes(int deviceType, double fps) : type_(deviceType), fps_(fps) {}

// Register writes and the frame thread each set their own bits.
void NamedScenes::SetCues(int mask, int bits) {
    int cues = lamps_.load();
    while (!lamps_.compare_exchange_weak(cues, (cues & ~mask) | bits)) {
    }
}

void NamedScenes::SetLamps(int lamps) {
    SetCues(belnor::sim::kLampLeftFour | belnor::sim::kLampThumbs | belnor::sim::kLampRightFour, lamps);
}

void NamedScenes::ShowSlapWindow(bool shown) {
    SetCues(belnor::sim::kSlapWindowShown, shown ? belnor::sim::kSlapWindowShown : 0);
}

NamedScenes::~NamedScenes() = default;

Scene NamedScenes::Get(const std::string& name, const std::vector<uint8_t>& record) {
    belnor::sim::SceneSpec spec;
    if (!belnor::sim::ParseSceneSpec(name, &spec))
        return {RenderTestPattern, nullptr, StillPicture};
    for (const auto& m : made_)
        if (m->name == name && m->record == record)
            return m->scene();
    auto made = std::make_unique<Made>(name, record);
    if (spec.kind == belnor::sim::SceneKind::kOperator)
        made->operatorScene =
            std::make_unique<belnor::sim::OperatorSceneSource>(spec.seed, type_, record, fps_, &lamps_);
    else
        made->finger = std::make_unique<belnor::sim::FingerSceneSource>(spec, type_, record, fps_);
    made_.push_back(std::move(made));
    return made_.back()->scene();
}

} // namespace vscanner
