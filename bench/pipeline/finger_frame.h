// A held finger as a scanner type's camera sends it: the scene drawn at the
// type's view size, turned into the corrected image and rendered through the
// type's built-in optics. Shared by the in-memory and the scanner benchmarks.
#pragma once

#include <cstdint>
#include <vector>

#include "finger_scenes.h"
#include "scanner_optics.h"

namespace belnor_bench {

struct FingerFrame {
  belnor::sim::ScannerOptics optics;
  std::vector<uint8_t> corrected;  // the scene as the pipeline should see it
  std::vector<uint8_t> camera;     // sensor frame as the camera sends it

  // Type 5 is a slap scanner: four fingers; the others one flat finger.
  explicit FingerFrame(int type) : optics(type, {}) {
    int vw = 0, vh = 0;
    belnor::sim::SceneViewSize(type, &vw, &vh);
    belnor::sim::SceneSpec spec;
    belnor::sim::ParseSceneSpec(type == 5 ? "slap-right@2" : "flat@2", &spec);
    std::vector<uint8_t> view(size_t(vw) * vh);
    // 3 s into the scene's cycle the fingers are held still.
    belnor::sim::SceneRenderer(spec, vw, vh).Render(3000, view.data());
    corrected.resize(view.size());
    belnor::sim::ViewToCorrected(type, view.data(), corrected.data());
    camera.resize(size_t(optics.sensorWidth()) * optics.sensorHeight());
    optics.Render(corrected.data(), camera.data());
  }
};

}  // namespace belnor_bench
