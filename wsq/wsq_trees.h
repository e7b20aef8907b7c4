// The 20-node wavelet tree that drives the decomposition and the 64-node
// quantisation tree that names the subbands.
#pragma once

namespace wsq {

constexpr int kWaveletNodes = 20;

struct WaveletNode {
  int x, y, lenx, leny;
  bool invRows, invCols;
};

struct SubbandNode {
  int x, y, lenx, leny;
};

struct WsqTrees {
  WaveletNode w[kWaveletNodes];
  SubbandNode q[64];
};

void build_w_tree(WaveletNode (&w)[kWaveletNodes], int width, int height);
void build_q_tree(SubbandNode (&q)[64], const WaveletNode (&w)[kWaveletNodes]);
void build_wsq_trees(WsqTrees &trees, int width, int height);

}  // namespace wsq
