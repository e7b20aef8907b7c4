// The operator scene on the virtual scanner, kept apart from the
// bindings: the capture library's namespace and scanbench's `belnor`
// object share a name.
#pragma once

#include <memory>

#include "vscanner_control.h"

namespace scanbench_test {

// The operator scene on a scanner of deviceType held in one state at a
// time, which the test chooses; the scanner shows it until the next choice.
// Keep it until the scanner is closed.
class HeldOperator {
 public:
  explicit HeldOperator(unsigned seed, int deviceType = 5);
  ~HeldOperator();
  // Draws every state without lamps, then installs the scene on device 0
  // showing the bare platen; false when either fails.
  bool Install(decltype(&vscanner_set_scene) setScene);
  void ShowAway();
  void ShowResting();
  void ShowRollPhase(int k);  // 0 .. RollPhases() - 1, left to right
  static int RollPhases();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace scanbench_test
