// Turns a scene into the bytes of one frame in a stream format: applies the
// camera's response and encodes YUYV, UYVY, GRAY8 or MJPEG. Used by one
// device's frame thread at a time; reuses its last frame while nothing
// changed (scene, picture, camera controls and format).
#pragma once

#include <cstdint>
#include <vector>

#include "camera_model.h"
#include "models.h"
#include "scenes.h"

namespace vscanner {

class FrameRenderer {
public:
    FrameRenderer(int width, int height, CameraSettings reference);

    // frame counts from 0 at each stream start; settingsVersion changes
    // whenever a camera control changed.
    const std::vector<uint8_t>& Render(Format format, uint64_t frame, const Scene& scene,
                                       const CameraSettings& settings, uint64_t settingsVersion);

private:
    void Encode(Format format);

    int width_, height_;
    CameraSettings reference_;
    std::vector<uint8_t> light_, pixels_, out_;
    Scene lastScene_{nullptr, nullptr};
    uint64_t lastVersion_ = ~0ull;
    uint64_t lastPicture_ = 0;
    int lastFormat_ = -1;
    bool haveLight_ = false;
};

// Greyscale JPEG of the plane, rows stored bottom-up (the host flips decoded
// MJPEG rows). Appends to out; false on an encoder error.
bool EncodeJpeg(const uint8_t* grey, int width, int height, int quality, std::vector<uint8_t>* out);

} // namespace vscanner
