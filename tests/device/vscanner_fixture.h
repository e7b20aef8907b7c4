// End-to-end tests through the virtual scanner: its control functions, a
// known scene, and the picture each device type should deliver for it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "first_frame_wait.h"
#include "vscanner_control.h"

namespace belnor_test {

// The virtual scanner's control functions, looked up in the loaded library.
struct VScanner {
  decltype(&vscanner_reset) reset = VSCANNER_LOOKUP(vscanner_reset);
  decltype(&vscanner_unplug) unplug = VSCANNER_LOOKUP(vscanner_unplug);
  decltype(&vscanner_open_count) openCount = VSCANNER_LOOKUP(vscanner_open_count);
  decltype(&vscanner_open_handles) openHandles = VSCANNER_LOOKUP(vscanner_open_handles);
  decltype(&vscanner_is_streaming) isStreaming = VSCANNER_LOOKUP(vscanner_is_streaming);
  decltype(&vscanner_stream_info) streamInfo = VSCANNER_LOOKUP(vscanner_stream_info);
  decltype(&vscanner_frames_sent) framesSent = VSCANNER_LOOKUP(vscanner_frames_sent);
  decltype(&vscanner_stream_cpu_ns) streamCpuNs = VSCANNER_LOOKUP(vscanner_stream_cpu_ns);
  decltype(&vscanner_get_control) getControl = VSCANNER_LOOKUP(vscanner_get_control);
  decltype(&vscanner_set_control) setControl = VSCANNER_LOOKUP(vscanner_set_control);
  decltype(&vscanner_set_fault) setFault = VSCANNER_LOOKUP(vscanner_set_fault);
  decltype(&vscanner_set_scene) setScene = VSCANNER_LOOKUP(vscanner_set_scene);

  bool Loaded() const {
    return reset && unplug && openCount && openHandles && isStreaming && streamInfo &&
           framesSent && streamCpuNs && getControl && setControl && setFault && setScene;
  }
};

// Camera controls as the device had them at power-up, to put back after init
// programmed them: then the device renders the scene unchanged.
class PowerUpControls {
 public:
  PowerUpControls(const VScanner& sim, int dev);
  void Restore() const;

 private:
  struct Control {
    int unit, selector;
    int32_t value;
  };
  const VScanner& sim_;
  int dev_;
  std::vector<Control> controls_;
};

// Scene: a smooth picture without any symmetry, so that flips and inversion
// show. Installed on a device with InstallScene.
uint8_t SceneLight(int x, int y, int width, int height);
void InstallScene(const VScanner& sim, int dev);

struct TypeGeometry {
  int type, windowWidth, windowHeight, sensorWidth, sensorHeight;
};
TypeGeometry GeometryOf(const std::string& usbId);

// What the library delivers for the scene with the open scanner's maps and
// window, brightness and background left alone: the (inverted/flipped)
// sensor frame corrected, then the window placed as its type places it.
std::vector<uint8_t> ExpectedWindow(const TypeGeometry& g);

// Largest and mean absolute difference.
struct Difference {
  int worst;
  double mean;
};
Difference Compare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// Threads of this process now.
int ThreadCount();
// Whether the thread count comes down to atMost: a joined thread may stay
// listed for a moment until the kernel has reaped it.
bool ThreadsSettleAt(int atMost);

// Base fixture: looks the scanner up and closes the library after each test.
class VScannerTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Attaches the devices (VSCANNER_DEVICES syntax) and installs the scene.
  void Attach(const std::string& devices);

  VScanner sim;
};

}  // namespace belnor_test
