// A finger scene on the virtual scanner (type 5), kept apart from the
// bindings: the capture library's namespace and scanbench's `belnor`
// object share a name.
#pragma once

#include <memory>

#include "vscanner_control.h"

namespace scanbench_test {

// Renders the scene (ParseSceneSpec text, e.g. "flat@3") on device 0 from
// now on; null for unknown text. Keep it until the scanner is closed.
std::shared_ptr<void> ShowFingerScene(decltype(&vscanner_set_scene) setScene, const char *text);

}  // namespace scanbench_test
