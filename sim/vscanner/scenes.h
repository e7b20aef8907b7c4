// Frame sources ("scenes"): the light the sensor sees, chosen by name:
// "pattern", the built-in test pattern, or a finger scene of sim/fingers
// (any text ParseSceneSpec accepts, e.g. "flat@3" or "operator").
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vscanner_control.h"

namespace vscanner {

struct Scene {
    vscanner_scene_fn fn;
    void* user;
    // Which picture a frame shows (equal values, equal light), so that the
    // device encodes each picture once; null when only fn knows.
    uint64_t (*picture)(void* user, uint64_t frame) = nullptr;
};

// The built-in test pattern: a gradient rising to the right and downwards
// (so flips show), a 64-pixel grid and a ring pattern in the middle.
int RenderTestPattern(void* user, uint64_t frame, int width, int height, uint8_t* light);
// The picture of a scene that never changes.
uint64_t StillPicture(void* user, uint64_t frame);

bool KnownScene(const std::string& name);

// name when it is known, else "pattern" with a note on stderr.
std::string SceneNameOrPattern(const std::string& name);

// The named scenes of one device. A finger scene is drawn for the device's
// type and frame rate through a calibration record (what its flash holds);
// the operator scene also sees the device's lamps. Every scene made is kept
// until this is destroyed: the frame thread may still render with one after
// another was chosen.
class NamedScenes {
public:
    NamedScenes(int deviceType, double fps);
    ~NamedScenes();
    NamedScenes(const NamedScenes&) = delete;
    NamedScenes& operator=(const NamedScenes&) = delete;

    // Made at the first request for this name and record, then reused; the
    // test pattern for a name that is not a finger scene.
    Scene Get(const std::string& name, const std::vector<uint8_t>& record);

    // The lamps lit, as bits (belnor::sim::kLamp*), and whether the host
    // shows the slap window: what the operator follows.
    void SetLamps(int lamps);
    void ShowSlapWindow(bool shown);

private:
    struct Made;
    void SetCues(int mask, int bits);
    const int type_;
    const double fps_;
    std::atomic<int> lamps_{0};
    std::vector<std::unique_ptr<Made>> made_;
};

} // namespace vscanner
