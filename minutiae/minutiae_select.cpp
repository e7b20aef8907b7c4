// Final selection: border and cluster removal, direction and angle re-measured
// on longer traces, and at most selectCap minutiae nearest the centre.
#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "direction_field.h"
#include "int_geometry.h"
#include "minutiae_stages.h"
#include "skeleton_trace.h"
#include "thread_buffer.h"

namespace minutiae {

namespace {

bool NearBackground(const uint8_t *D, int cw, int ch, int x, int y, int before, int after) {
  const int r0 = std::max(0, (y - before) / 3), r1 = std::min(ch - 1, (y + after) / 3);
  const int c0 = std::max(0, (x - before) / 3), c1 = std::min(cw - 1, (x + after) / 3);
  for (int r = r0; r <= r1; ++r)
    for (int c = c0; c <= c1; ++c)
      if (D[size_t(r) * cw + c] > 119) return true;
  return false;
}

// Circular mean of the closest pair of three branch directions; -1 when none.
int BranchMean(const int v[3], int turn, int minLargest) {
  const int pairs[3][2] = {{1, 2}, {0, 1}, {0, 2}};
  int best = -1, bestDiff = turn, largest = 0;
  for (int k = 0; k < 3; ++k) {
    const int d = foldDirection(v[pairs[k][0]], v[pairs[k][1]], turn);
    largest = std::max(largest, d);
    if (d < bestDiff) {
      bestDiff = d;
      best = k;
    }
  }
  if (bestDiff == 0 || largest < minLargest) return -1;
  const int a = v[pairs[best][0]], b = v[pairs[best][1]];
  const int diff = std::abs(a - b);
  if (diff <= turn / 2) return (a + b) / 2;
  return (std::max(a, b) + (turn - diff) / 2) % turn;
}

void Compact(CandidateList &list) {
  int n = 0;
  for (int i = 0; i < list.count; ++i)
    if (list.entries[i].direction != kRemoved) list.entries[n++] = list.entries[i];
  list.count = n;
}

// Re-measures direction (240 units) and angle (256 units); direction 255 drops it.
void Remeasure(Skeleton &sk, Candidate &c, const ExtractProfile &prof) {
  const Pixel p{c.x, c.y};
  int dir = 255, angle = -1;
  if (c.type == 1) {
    const Trace t = sk.EndingTrace(p, 20);
    const Pixel e = t.Last(p);
    const int dx = e.x - p.x, dy = e.y - p.y;
    if (t.Steps() >= 16) {
      if (dx * dx + dy * dy >= 90) dir = prof.dir240(dx, dy);
      angle = prof.dir256(dx, dy);
    }
    sk.Restore(t);
  } else {
    Trace br[3];
    int d240[3], d256[3];
    bool all = true;
    for (int k = 0; k < 3; ++k) {
      br[k] = sk.BranchTrace(p, 20, 4, 4);
      const Pixel e = br[k].Last(p);
      all = all && br[k].Steps() >= 10;
      d240[k] = prof.dir240(e.x - p.x, e.y - p.y);
      d256[k] = prof.dir256(e.x - p.x, e.y - p.y);
    }
    for (int k = 2; k >= 0; --k) sk.Restore(br[k]);
    if (all) {
      const int m = BranchMean(d240, 240, 60);
      dir = m < 0 ? 255 : m;
      angle = BranchMean(d256, 256, 64);
    }
  }
  if (angle < 0) angle = dir == 255 ? 0 : std::min(255, (dir * 256 + 120) / 240);
  c.direction = uint8_t(dir);
  c.angle = uint8_t(angle);
}

bool SegmentClear(const uint8_t *S, int w, const Candidate &a, const Candidate &b, std::vector<Pixel> &span) {
  lineSpan({a.x, a.y}, {b.x, b.y}, span);
  const int n = int(span.size());
  const int from = n <= 9 ? 2 : n / 5, to = std::min(4 * n / 5, n - 2);
  for (int k = from; k < to; ++k)
    if (S[size_t(span[size_t(k)].y) * w + span[size_t(k)].x] == 0) return false;
  return true;
}

}  // namespace

void selectMinutiae(uint8_t *S, int w, int h, const uint8_t *D, CandidateList &list,
                    MinutiaeRecord &record, const ExtractProfile &prof) {
  Skeleton sk(S, w, h);
  const int cw = cellCols(w), ch = cellRows(h);
  for (int i = 0; i < list.count; ++i) {
    Candidate &c = list.entries[i];
    if (c.direction == kRemoved) continue;
    if (c.x < 8 || c.x > w - 9 || c.y < 8 || c.y > h - 9 || NearBackground(D, cw, ch, c.x, c.y, 8, 6)) {
      c.direction = kRemoved;
      continue;
    }
    Remeasure(sk, c, prof);
  }
  Compact(list);

  auto d2 = [&](int i, int j) {
    const int dx = list.entries[i].x - list.entries[j].x, dy = list.entries[i].y - list.entries[j].y;
    return dx * dx + dy * dy;
  };
  const int n = list.count;
  for (int i = 0; i < n; ++i) {
    int close = 0;
    for (int j = 0; j < n; ++j) close += j != i && d2(i, j) < 400;
    if (close > 4) list.entries[i].direction = kRemoved;
  }

  for (int j = 0; j < n; ++j) {
    Candidate &a = list.entries[j];
    for (int k = 0; k < n && a.direction != kRemoved; ++k) {
      Candidate &b = list.entries[k];
      if (k == j || b.direction == kRemoved) continue;
      const int dd = d2(j, k);
      int diff = (a.direction - b.direction) % 240;
      if (diff < 0) diff += 240;
      const bool opposite = std::abs(diff - 120) <= 18;
      if ((a.type == 2 && b.type == 2 && dd <= 35 && (dd <= 8 || opposite)) || (dd <= 19 && opposite)) {
        a.direction = kRemoved;
        b.direction = kRemoved;
      }
    }
  }

  std::vector<int> &border = threadBuffer<struct SelectBorder, int>();
  border.clear();
  border.reserve(kMaxCandidates);  // sized once per thread
  for (int i = 0; i < n; ++i) {
    const Candidate &c = list.entries[i];
    if (c.type == 1 && c.direction != kRemoved && NearBackground(D, cw, ch, c.x, c.y, 17, 15))
      border.push_back(i);
  }
  std::vector<Pixel> &span = threadBuffer<struct SelectSpan, Pixel>();
  span.reserve(kMaxSpan);
  for (int e : border) {
    if (list.entries[e].direction == kRemoved) continue;
    // The nearest and the next nearest other border ending and their squared distances.
    int near = -1, next = -1, dNear = 0, dNext = 0;
    for (int o : border) {
      if (o == e || list.entries[o].direction == kRemoved) continue;
      const int dd = d2(e, o);
      if (near < 0 || dd < dNear) {
        next = near;
        dNext = dNear;
        near = o;
        dNear = dd;
      } else if (next < 0 || dd < dNext) {
        next = o;
        dNext = dd;
      }
    }
    if (near < 0 || next < 0 || dNear >= 300 || dNext >= 300) continue;
    Candidate &ce = list.entries[e], &cNear = list.entries[near], &cNext = list.entries[next];
    if (foldDirection(cNear.direction, ce.direction) > 10 || foldDirection(cNext.direction, ce.direction) > 10)
      continue;
    const int tNear = prof.dir240(cNear.x - ce.x, cNear.y - ce.y);
    const int tNext = prof.dir240(cNext.x - ce.x, cNext.y - ce.y);
    if (std::abs(foldDirection(tNear, tNext) - 120) > 10) continue;
    if (!SegmentClear(S, w, ce, cNear, span) || !SegmentClear(S, w, ce, cNext, span)) continue;
    ce.direction = cNear.direction = cNext.direction = kRemoved;
  }
  Compact(list);

  const int cap = std::min(prof.selectCap, int(kMaxMinutiae));
  std::vector<int> &keep = threadBuffer<struct SelectKeep, int>();
  keep.reserve(kMaxCandidates);
  keep.resize(size_t(list.count));
  std::iota(keep.begin(), keep.end(), 0);
  if (list.count > cap) {
    int minX = 1 << 30, maxX = -1, minY = 1 << 30, maxY = -1;
    for (int i = 0; i < list.count; ++i) {
      minX = std::min<int>(minX, list.entries[i].x);
      maxX = std::max<int>(maxX, list.entries[i].x);
      minY = std::min<int>(minY, list.entries[i].y);
      maxY = std::max<int>(maxY, list.entries[i].y);
    }
    const int cx = (minX + maxX) / 2, cy = (minY + maxY) / 2;
    std::vector<int64_t> &dist = threadBuffer<struct SelectDistance, int64_t>();
    dist.reserve(kMaxCandidates);
    dist.resize(size_t(list.count));
    for (int i = 0; i < list.count; ++i) {
      const int dx = list.entries[i].x - cx, dy = list.entries[i].y - cy;
      dist[size_t(i)] = int64_t(dx) * dx + int64_t(dy) * dy;
    }
    std::stable_sort(keep.begin(), keep.end(), [&](int a, int b) { return dist[size_t(a)] < dist[size_t(b)]; });
    keep.resize(size_t(cap));
    std::sort(keep.begin(), keep.end());
  }
  record.count = uint16_t(keep.size());
  for (size_t k = 0; k < keep.size(); ++k) {
    const Candidate &c = list.entries[keep[k]];
    record.minutiae[k] = {uint16_t(c.x), uint16_t(c.y), c.type, c.angle};
  }
}

}  // namespace minutiae
