#include "frame_renderer.h"

#include <cstring>

namespace vscanner {

FrameRenderer::FrameRenderer(int width, int height, CameraSettings reference)
    : width_(width), height_(height), reference_(reference),
      light_(size_t(width) * size_t(height)), pixels_(light_.size()),
      out_(light_.size() * 2) {} // the largest encoding, touched now

const std::vector<uint8_t>& FrameRenderer::Render(Format format, uint64_t frame, const Scene& scene,
                                                  const CameraSettings& settings, uint64_t version) {
    const bool newScene = !haveLight_ || scene.fn != lastScene_.fn || scene.user != lastScene_.user;
    bool changed;
    if (scene.picture) {
        // A picture already drawn is not drawn again.
        const uint64_t picture = scene.picture(scene.user, frame);
        changed = newScene || picture != lastPicture_;
        if (changed)
            scene.fn(scene.user, frame, width_, height_, light_.data());
        lastPicture_ = picture;
    } else {
        // A new scene renders from its first picture whatever frame the stream is at.
        changed = scene.fn(scene.user, newScene ? 0 : frame, width_, height_, light_.data()) != 0;
    }
    if (!newScene && !changed && version == lastVersion_ && int(format) == lastFormat_)
        return out_;
    haveLight_ = true;
    lastScene_ = scene;
    lastVersion_ = version;
    lastFormat_ = int(format);

    uint8_t lut[256];
    BuildResponse(settings, reference_, lut);
    const size_t n = light_.size();
    for (size_t i = 0; i < n; ++i)
        pixels_[i] = lut[light_[i]];
    Encode(format);
    return out_;
}

void FrameRenderer::Encode(Format format) {
    const size_t n = pixels_.size();
    out_.clear();
    switch (format) {
    case Format::Gray8:
        out_ = pixels_;
        break;
    case Format::Yuyv:
    case Format::Uyvy: {
        out_.resize(n * 2);
        const size_t luma = format == Format::Yuyv ? 0 : 1;
        uint8_t* o = out_.data();
        for (size_t i = 0; i < n; ++i) {
            o[2 * i + luma] = pixels_[i];
            o[2 * i + 1 - luma] = 128; // no colour
        }
        break;
    }
    case Format::Mjpeg:
        EncodeJpeg(pixels_.data(), width_, height_, 85, &out_);
        break;
    }
}

} // namespace vscanner
