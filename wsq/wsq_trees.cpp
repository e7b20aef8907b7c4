#include "wsq_trees.h"

#include <initializer_list>

namespace wsq {

namespace {

// First part of a split of n: normally the larger half, reversed the smaller.
int FirstPart(int n, bool reversed) { return reversed ? n / 2 : (n + 1) / 2; }

struct Rect {
  int x, y, w, h;
};

// Top-left, top-right, bottom-left, bottom-right.
void Split4(const Rect &r, bool revW, bool revH, Rect (&out)[4]) {
  const int e = FirstPart(r.w, revW);
  const int f = FirstPart(r.h, revH);
  out[0] = {r.x, r.y, e, f};
  out[1] = {r.x + e, r.y, r.w - e, f};
  out[2] = {r.x, r.y + f, e, r.h - f};
  out[3] = {r.x + e, r.y + f, r.w - e, r.h - f};
}

void SetNode(WaveletNode &n, const Rect &r) {
  n.x = r.x;
  n.y = r.y;
  n.lenx = r.w;
  n.leny = r.h;
}

Rect RectOf(const WaveletNode &n) { return {n.x, n.y, n.lenx, n.leny}; }

void SetSubbands(SubbandNode (&q)[64], int k, const Rect (&parts)[4]) {
  for (int i = 0; i < 4; ++i) q[k + i] = {parts[i].x, parts[i].y, parts[i].w, parts[i].h};
}

void Split16(SubbandNode (&q)[64], int k, const Rect &r, bool revW, bool revH) {
  Rect quad[4];
  Split4(r, revW, revH, quad);
  for (int i = 0; i < 4; ++i) {
    Rect parts[4];
    Split4(quad[i], i & 1, i & 2, parts);
    SetSubbands(q, k + 4 * i, parts);
  }
}

}  // namespace

void build_w_tree(WaveletNode (&w)[kWaveletNodes], int width, int height) {
  for (WaveletNode &n : w) n = WaveletNode{};
  Rect kids[4];
  SetNode(w[0], {0, 0, width, height});
  Split4(RectOf(w[0]), false, false, kids);
  for (int i = 0; i < 3; ++i) SetNode(w[1 + i], kids[i]);

  const int w1 = w[1].lenx, h1 = w[1].leny;
  SetNode(w[4], {(w1 + 1) / 2, 0, w1 / 2, (h1 + 1) / 2});
  SetNode(w[5], {0, (h1 + 1) / 2, (w1 + 1) / 2, h1 / 2});
  SetNode(w[14], {0, 0, (w1 + 1) / 2, (h1 + 1) / 2});
  Split4(RectOf(w[4]), true, false, kids);
  for (int i = 0; i < 4; ++i) SetNode(w[6 + i], kids[i]);
  Split4(RectOf(w[5]), false, true, kids);
  for (int i = 0; i < 4; ++i) SetNode(w[10 + i], kids[i]);
  Split4(RectOf(w[14]), false, false, kids);
  for (int i = 0; i < 4; ++i) SetNode(w[15 + i], kids[i]);
  SetNode(w[19], {0, 0, (w[15].lenx + 1) / 2, (w[15].leny + 1) / 2});

  for (int i : {2, 4, 7, 9, 11, 13, 16, 18}) w[i].invRows = true;
  for (int i : {3, 5, 8, 9, 12, 13, 17, 18}) w[i].invCols = true;
}

void build_q_tree(SubbandNode (&q)[64], const WaveletNode (&w)[kWaveletNodes]) {
  for (SubbandNode &n : q) n = SubbandNode{};
  // Later splits overwrite entries of earlier ones.
  Split16(q, 3, RectOf(w[14]), false, false);
  Split16(q, 19, RectOf(w[4]), true, false);
  Split16(q, 48, RectOf(w[0]), false, false);
  Split16(q, 35, RectOf(w[5]), false, true);
  Rect parts[4];
  Split4(RectOf(w[19]), false, false, parts);
  SetSubbands(q, 0, parts);
}

void build_wsq_trees(WsqTrees &trees, int width, int height) {
  build_w_tree(trees.w, width, height);
  build_q_tree(trees.q, trees.w);
}

}  // namespace wsq
