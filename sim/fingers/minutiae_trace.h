// The minutiae of a grown ridge pattern, found on its ridge skeleton: where
// a ridge line ends and where it forks.
#pragma once

#include <vector>

#include "finger_pattern.h"

namespace belnor::sim {

// Endings and bifurcations of the finger's ridges (wave > 0) in finger
// coordinates, two periods or more from the pattern's edge, with the angle
// along the line that ends there; a skeleton spur or bridge across which
// ridge and valley do not plainly differ is left out.
std::vector<Minutia> TraceMinutiae(const Finger &finger);

}  // namespace belnor::sim
