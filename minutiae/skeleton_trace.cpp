#include "skeleton_trace.h"

namespace minutiae {

namespace {

const uint8_t kBridgeCodes[63] = {
    0x17, 0x1B, 0x1D, 0x33, 0x37, 0x39, 0x3B, 0x3D, 0x47, 0x4E, 0x4F, 0x5C, 0x5E, 0x5F, 0x63, 0x66,
    0x67, 0x6C, 0x6E, 0x6F, 0x71, 0x73, 0x74, 0x76, 0x77, 0x79, 0x7B, 0x7D, 0x8D, 0x93, 0x97, 0x99,
    0x9B, 0x9D, 0xB1, 0xB3, 0xB7, 0xB9, 0xBB, 0xBD, 0xC5, 0xC6, 0xCC, 0xCD, 0xCE, 0xD1, 0xD3, 0xD7,
    0xD8, 0xD9, 0xDB, 0xDC, 0xDD, 0xDE, 0xE4, 0xE5, 0xE6, 0xEC, 0xED, 0xEE, 0xF4, 0xF5, 0xF6};

// Bits in the order N, NE, E, SE, S, SW, W, NW are 0..7.
const int kBitDy[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
const int kBitDx[8] = {0, 1, 1, 1, 0, -1, -1, -1};

SkeletonTables Build() {
  SkeletonTables t{};
  const int order[8] = {0, 2, 4, 6, 1, 3, 5, 7};  // N, E, S, W, NE, SE, SW, NW
  for (int code = 0; code < 256; ++code) {
    int cls = 0;
    for (int b = 0; b < 8; ++b)
      cls += !((code >> b) & 1) && ((code >> ((b + 1) & 7)) & 1);
    t.neighbourClass[code] = uint8_t(cls);
    for (int b : order)
      if (!((code >> b) & 1)) {
        t.stepY[code] = int8_t(kBitDy[b]);
        t.stepX[code] = int8_t(kBitDx[b]);
        break;
      }
  }
  for (uint8_t c : kBridgeCodes) t.bridge[c] = 255;
  return t;
}

}  // namespace

const uint8_t g_joinTolerance[16] = {0, 92, 92, 93, 93, 93, 94, 95, 96, 98, 100, 102, 103, 104, 105, 105};

const SkeletonTables &skeletonTables() {
  static const SkeletonTables t = Build();
  return t;
}

int neighbourCode(const uint8_t *s, int w, int x, int y) {
  int code = 0;
  for (int b = 0; b < 8; ++b)
    code |= (s[size_t(y + kBitDy[b]) * w + x + kBitDx[b]] != 0) << b;
  return code;
}

bool Skeleton::Step(Pixel &cur, Trace &t) {
  const SkeletonTables &tab = skeletonTables();
  const int code = Code(cur);
  const int dy = tab.stepY[code], dx = tab.stepX[code];
  if (dy == 0 && dx == 0) return false;
  const Pixel next{cur.x + dx, cur.y + dy};
  if (!Inside(next) || t.reached.size() == TracePixels::kCapacity - 1) return false;
  At(cur) = 255;
  t.erased.push_back(cur);
  t.reached.push_back(next);
  cur = next;
  return true;
}

Trace Skeleton::EndingTrace(Pixel start, int n) {
  Trace t;
  Pixel cur = start;
  while (t.Steps() < n && Class(cur) == 1)
    if (!Step(cur, t)) break;
  return t;
}

bool Skeleton::ResolveSpur(Pixel at) {
  // Follow both ways out for at most four pixels each; the first way stays
  // erased while the second is followed, so the second leaves on the other side.
  Trace ways[2];
  bool dead[2] = {false, false};
  for (int k = 0; k < 2; ++k) {
    Pixel cur = at;
    Trace &t = ways[k];
    if (!Step(cur, t)) break;
    while (true) {
      const int cls = Class(cur);
      if (cls == 0) {
        dead[k] = t.Steps() <= 3;
        break;
      }
      if (cls != 1 || t.Steps() >= 4 || !Step(cur, t)) break;
    }
    At(cur) = 255;
    t.erased.push_back(cur);
  }
  Restore(ways[1]);
  Restore(ways[0]);
  if (dead[0] == dead[1]) return false;
  for (const Pixel &p : (dead[0] ? ways[0] : ways[1]).reached) At(p) = 255;
  return true;
}

Trace Skeleton::BranchTrace(Pixel start, int n, int spurFrom, int endFrom) {
  Trace t;
  Pixel cur = start;
  Pixel side[2] = {start, start};
  bool sideErased[2] = {false, false};
  for (int step = 1; step <= n; ++step) {
    if (step >= 3) {
      const int cls = Class(cur);
      if (spurFrom > 0 && step >= spurFrom && cls == 2) {
        t.metJunction = true;
        if (!ResolveSpur(cur)) break;
      } else if (step >= endFrom && (spurFrom > 0 ? cls != 1 && cls != 2 : cls != 1)) {
        break;
      }
    }
    if (step == 1) {
      const SkeletonTables &tab = skeletonTables();
      const int code = Code(cur);
      const int dy = tab.stepY[code], dx = tab.stepX[code];
      if (dx == 0 && dy != 0) {
        side[0] = {cur.x - 1, cur.y};
        side[1] = {cur.x + 1, cur.y};
      } else if (dy == 0 && dx != 0) {
        side[0] = {cur.x, cur.y - 1};
        side[1] = {cur.x, cur.y + 1};
      }
      if ((dx == 0) != (dy == 0))
        for (int k = 0; k < 2; ++k)
          if (At(side[k]) == 0) {
            At(side[k]) = 255;
            sideErased[k] = true;
          }
    }
    const bool moved = Step(cur, t);
    if (step == 2 || !moved)
      for (int k = 0; k < 2; ++k)
        if (sideErased[k]) {
          At(side[k]) = 0;
          sideErased[k] = false;
        }
    if (!moved) break;
  }
  for (int k = 0; k < 2; ++k)
    if (sideErased[k]) At(side[k]) = 0;
  return t;
}

}  // namespace minutiae
