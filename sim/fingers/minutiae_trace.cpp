// Thinning ridges and valleys to one-pixel lines, then reading where the
// lines end.
#include "minutiae_trace.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "finger_math.h"

namespace belnor::sim {
namespace {

// The eight neighbours in turn around a pixel, starting above it.
constexpr int kDx[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int kDy[8] = {-1, -1, 0, 1, 1, 1, 0, -1};

struct Grid {
  int side;
  std::vector<uint8_t> on;
  bool At(int i, int j) const { return i >= 0 && j >= 0 && i < side && j < side && on[size_t(j) * side + i]; }
};

// Thinning that removes boundary pixels from alternate sides until every
// ridge is a line one pixel wide.
void Thin(Grid *g) {
  const int n = g->side;
  std::vector<size_t> drop;
  for (bool changed = true; changed;) {
    changed = false;
    for (int pass = 0; pass < 2; ++pass) {
      drop.clear();
      for (int j = 1; j < n - 1; ++j)
        for (int i = 1; i < n - 1; ++i) {
          if (!g->At(i, j)) continue;
          int p[8], count = 0, runs = 0;
          for (int k = 0; k < 8; ++k) count += p[k] = g->At(i + kDx[k], j + kDy[k]);
          for (int k = 0; k < 8; ++k) runs += !p[k] && p[(k + 1) % 8];
          if (count < 2 || count > 6 || runs != 1) continue;
          const bool keep = pass == 0 ? (p[0] && p[2] && p[4]) || (p[2] && p[4] && p[6])
                                      : (p[0] && p[2] && p[6]) || (p[0] && p[4] && p[6]);
          if (!keep) drop.push_back(size_t(j) * n + i);
        }
      for (size_t k : drop) g->on[k] = 0;
      changed |= !drop.empty();
    }
  }
}

int Neighbours(const Grid &g, int i, int j) {
  int count = 0;
  for (int k = 0; k < 8; ++k) count += g.At(i + kDx[k], j + kDy[k]);
  return count;
}

}  // namespace

std::vector<Minutia> TraceMinutiae(const Finger &finger) {
  constexpr int n = Finger::kSide;
  const float period = finger.period;
  const int margin = int(2 * period);
  std::vector<Minutia> found;
  // A ridge ending ends a line of the ridges; a fork ends a line of the
  // valleys between them. Reading ends on both skeletons, rather than the
  // forks of one, leaves out the junctions that thinning makes of uneven
  // borders.
  for (const MinutiaType type : {MinutiaType::kEnding, MinutiaType::kBifurcation}) {
    Grid g{n, std::vector<uint8_t>(size_t(n) * n)};
    const bool ridges = type == MinutiaType::kEnding;
    for (size_t k = 0; k < g.on.size(); ++k) g.on[k] = (finger.wave[k] > 0) == ridges;
    Thin(&g);
    for (int j = margin; j < n - margin; ++j)
      for (int i = margin; i < n - margin; ++i) {
        if (!g.At(i, j) || Neighbours(g, i, j) != 1) continue;
        const float x = float(i - Finger::kExtent), y = float(j - Finger::kExtent);
        // Along the flow, the way into the line that ends here: the ridge of
        // an ending, the valley between the branches of a fork.
        const float a = finger.flow.Direction(x, y), d = 0.6f * period;
        const float ahead = finger.Wave(x + d * std::cos(a), y + d * std::sin(a));
        const float behind = finger.Wave(x - d * std::cos(a), y - d * std::sin(a));
        // Only where ridge and valley plainly differ across the end.
        if (std::fabs(ahead - behind) < 1.0f) continue;
        const bool forward = ridges ? ahead > behind : ahead < behind;
        found.push_back({x, y, WrapAngle(forward ? a : a + kPi), type});
      }
  }
  return found;
}

}  // namespace belnor::sim
