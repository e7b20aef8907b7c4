// Frame sources ("scenes"): the light the sensor sees. Further scenes (the
// synthetic fingers) register by name in scenes.cpp.
#pragma once

#include <string>

#include "vscanner_control.h"

namespace vscanner {

struct Scene {
    vscanner_scene_fn fn;
    void* user;
};

// The built-in test pattern: a gradient rising to the right and downwards
// (so flips show), a 64-pixel grid and a ring pattern in the middle.
int RenderTestPattern(void* user, uint64_t frame, int width, int height, uint8_t* light);

// The scene of that name; the test pattern (with a note on stderr) for an
// unknown name.
Scene SceneByName(const std::string& name);

} // namespace vscanner
