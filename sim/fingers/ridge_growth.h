// Ridges grown along a flow: a few random specks, filtered over and over
// with a bank of oriented band-pass kernels that follow the local ridge
// direction and period, and clipped each time, spread into ridges that run
// where the flow says. Where two growing fronts meet out of step, a ridge
// ends or forks: the minutiae come from the growth itself.
#pragma once

#include <cstdint>
#include <vector>

#include "finger_pattern.h"

namespace belnor::sim {

// A side x side grid of ridge signal (about +1 on ridges, -1 in valleys),
// cell (i, j) at finger coordinates (i - extent, j - extent), with
// side = 2 extent + 1. seeds: how many specks the growth starts from.
std::vector<float> GrowRidges(const RidgeFlow &flow, int extent, uint32_t seed, int seeds);

}  // namespace belnor::sim
