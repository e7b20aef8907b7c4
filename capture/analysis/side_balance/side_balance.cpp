#include "side_balance.h"

#include <algorithm>
#include <cstdlib>

namespace ridgeflow {

int BalanceTerm(const SideCounts &c, int weight) {
  const int e = std::abs(c.falling - c.rising);
  const float share = float(e > 10 ? e - 10 : e) / float(c.falling + c.rising);
  return std::min(weight, int(float(weight) * (1.0f - share)));
}

}  // namespace ridgeflow
