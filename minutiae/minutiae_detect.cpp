#include <cstdlib>

#include "direction_field.h"
#include "minutiae_stages.h"
#include "skeleton_trace.h"

namespace minutiae {

namespace {

struct Found {
  int direction;  // 255 rejected
  int type;
  Pixel at;
};

int CheckRidgeEnding(Skeleton &sk, Pixel p, const ExtractProfile &prof) {
  const Trace t = sk.EndingTrace(p, 10);
  int dir = 255;
  if (t.Steps() >= 4) {
    const Pixel e = t.Last(p);
    dir = prof.dir240(e.x - p.x, e.y - p.y);
  }
  sk.Restore(t);
  return dir;
}

Found CheckBifurcation(Skeleton &sk, Pixel p, const ExtractProfile &prof) {
  Trace br[3];
  int dir[3];
  bool junction = false;
  for (int k = 0; k < 3; ++k) {
    br[k] = sk.BranchTrace(p, 10, 3, 4);
    junction = junction || br[k].metJunction;
    const Pixel e = br[k].Last(p);
    dir[k] = br[k].Steps() < 4 ? 255 : prof.dir240(e.x - p.x, e.y - p.y);
  }
  int shortCount = 0, longIdx = -1;
  for (int k = 0; k < 3; ++k) {
    if (br[k].Steps() < 4) ++shortCount;
    else if (br[k].Steps() > 9) longIdx = k;
  }
  if (!junction && shortCount == 2 && longIdx >= 0) {
    sk.Restore(br[longIdx]);
    sk.At(p) = 0;
    return {dir[longIdx], 1, p};
  }
  for (int k = 2; k >= 0; --k) sk.Restore(br[k]);
  const bool any255 = dir[0] == 255 || dir[1] == 255 || dir[2] == 255;
  return {any255 ? 255 : dir[0], 2, p};
}

// A bifurcation that is really a narrow bridge between two ridges becomes an
// ending where the bridge is cut, or goes.
void ResolveBridge(Skeleton &sk, uint8_t *B, Candidate &cand, const ExtractProfile &prof) {
  const Pixel p{cand.x, cand.y};
  Trace br[3];
  for (int k = 0; k < 3; ++k) br[k] = sk.BranchTrace(p, 10, 0, 4);
  for (int k = 2; k >= 0; --k) sk.Restore(br[k]);
  const SkeletonTables &tab = skeletonTables();
  int marked = -1, markStep = 0, marks = 0;
  for (int k = 0; k < 3; ++k) {
    const int limit = br[k].Steps() < 4 ? br[k].Steps() : 4;
    for (int s = 1; s <= limit; ++s) {
      const Pixel q = br[k].reached[size_t(s - 1)];
      if (tab.bridge[neighbourCode(B, sk.width(), q.x, q.y)]) {
        ++marks;
        marked = k;
        markStep = s;
        break;
      }
    }
  }
  if (marks != 1) return;
  const Trace &t = br[marked];
  const Pixel cut = t.reached[size_t(markStep - 1)];
  B[size_t(cut.y) * sk.width() + cut.x] = 255;
  sk.At(cut) = 255;
  for (int s = markStep - 1; s >= 1; --s) {
    const Pixel q = t.reached[size_t(s - 1)];
    if (sk.Class(q) == 2) break;
    sk.At(q) = 255;
  }
  if (markStep + 1 > t.Steps()) {
    cand.direction = kRemoved;
    return;
  }
  const Pixel e = t.reached[size_t(markStep)];
  const int dir = sk.At(e) == 0 ? CheckRidgeEnding(sk, e, prof) : 255;
  if (dir == 255) {
    cand.direction = kRemoved;
    return;
  }
  cand = {int16_t(e.x), int16_t(e.y), 1, uint8_t(dir), 0, 0};
}

}  // namespace

void detectMinutiae(uint8_t *S, uint8_t *B, int w, int h, const uint8_t *D, CandidateList &list,
                    const ExtractProfile &prof) {
  Skeleton sk(S, w, h);
  const int cw = cellCols(w), ch = cellRows(h);
  const int cap = prof.candidateCap < kMaxCandidates ? prof.candidateCap : kMaxCandidates;
  auto foreground3x3 = [&](int r, int c) {
    for (int rr = r - 1; rr <= r + 1; ++rr)
      for (int cc = c - 1; cc <= c + 1; ++cc)
        if (D[size_t(rr) * cw + cc] > 119) return false;
    return true;
  };
  for (int r = 1; r <= ch - 2 && list.count < cap; ++r)
    for (int c = 1; c <= cw - 2 && list.count < cap; ++c) {
      if (!foreground3x3(r, c)) continue;
      for (int y = 3 * r + 1; y <= 3 * r + 3 && list.count < cap; ++y)
        for (int x = 3 * c + 1; x <= 3 * c + 3 && list.count < cap; ++x) {
          const Pixel p{x, y};
          if (!sk.Inside(p) || sk.At(p) != 0) continue;
          const int cls = sk.Class(p);
          Found f{255, 0, p};
          if (cls == 1) f = {CheckRidgeEnding(sk, p, prof), 1, p};
          else if (cls == 3) f = CheckBifurcation(sk, p, prof);
          if (f.direction == 255) continue;
          list.entries[list.count++] = {int16_t(x), int16_t(y), uint8_t(f.type), uint8_t(f.direction), 0, 0};
        }
    }
  for (int i = 0; i < list.count; ++i) {
    Candidate &cand = list.entries[i];
    if (cand.type == 2 && cand.direction != kRemoved) ResolveBridge(sk, B, cand, prof);
  }
}

}  // namespace minutiae
