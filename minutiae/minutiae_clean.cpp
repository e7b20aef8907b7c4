// Joins broken ridges: two endings that face each other across a clear gap
// are drawn together and both dropped.
#include <cstddef>

#include "int_geometry.h"
#include "minutiae_stages.h"
#include "skeleton_trace.h"
#include "thread_buffer.h"

namespace minutiae {

void removeFalseMinutiae(uint8_t *S, int w, int h, CandidateList &list, const ExtractProfile &prof) {
  std::vector<Pixel> &span = threadBuffer<struct JoinSpan, Pixel>();
  span.reserve(kMaxSpan);
  auto isEnding = [](const Candidate &c) { return c.type == 1 && c.direction != kRemoved; };
  for (int i = 0; i < list.count; ++i) {
    Candidate &a = list.entries[i];
    if (!isEnding(a)) continue;
    for (int j = i + 1; j < list.count; ++j) {
      Candidate &b = list.entries[j];
      if (!isEnding(b)) continue;
      const int dx = b.x - a.x, dy = b.y - a.y, d2 = dx * dx + dy * dy;
      if (d2 > 225 || foldDirection(a.direction, b.direction) <= 97) continue;
      const int t = prof.dir240(dx, dy);
      const int L = d2 >= 225 ? 15 : d2 > 0 ? intSqrt(d2) : 1;
      const int tol = g_joinTolerance[L];
      if (foldDirection(t, a.direction) < tol || foldDirection((t + 120) % 240, b.direction) < tol)
        continue;
      lineSpan({a.x, a.y}, {b.x, b.y}, span);
      if (span.size() < 2) break;
      bool clear = true;
      for (size_t k = 1; k < span.size() && clear; ++k) {
        const Pixel &p = span[k];
        clear = p.x >= 0 && p.x < w && p.y >= 0 && p.y < h && S[size_t(p.y) * w + p.x] != 0;
      }
      if (!clear) continue;
      for (size_t k = 1; k < span.size(); ++k) S[size_t(span[k].y) * w + span[k].x] = 0;
      a.direction = kRemoved;
      b.direction = kRemoved;
      break;
    }
  }
}

}  // namespace minutiae
