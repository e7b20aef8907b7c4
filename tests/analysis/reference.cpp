#include "reference.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "image_analysis.h"

namespace ref {

int BlockDirectionVote(const uint8_t *image, int W, int H, int x, int y, int s) {
  static const int steps[8][2] = {{2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {-1, 2}, {-2, 2}, {-2, 1}};
  if (x < 6) x = 6;
  if (x > W - 15) x = W - 15;
  if (y < 6) y = 6;
  if (y > H - 15) y = H - 15;
  int votes[8] = {};
  for (int r = y; r <= y + 6; r += 2)
    for (int c = x; c <= x + 6; c += 2) {
      int V[8];
      for (int d = 0; d < 8; ++d) {
        V[d] = 0;
        for (int k = -3; k <= 3; ++k) {
          if (k == 0) continue;
          V[d] += image[(r + k * steps[d][1]) * W + c + k * steps[d][0]];
        }
      }
      int N = V[0], P = 0, O = V[0], Q = 0, M = 0;
      for (int d = 0; d < 8; ++d) {
        if (V[d] > N) N = V[d], P = d;
        if (V[d] < O) O = V[d], Q = d;
        M += V[d];
      }
      if ((N - O) * s >= N) {
        const int pixel = image[r * W + c];
        ++votes[8 * (N + 6 * pixel + O) < 3 * M ? Q : P];
      }
    }
  int best = 0, most = 2;
  for (int d = 0; d < 8; ++d)
    if (votes[d] > most) most = votes[d], best = d + 1;
  return best;
}

int LabelComponents(int8_t *map, int bw, int bh) {
  auto at = [&](int x, int y) -> int8_t & { return map[y * bw + x]; };
  auto free = [](int v) { return v >= 1 && v <= 8; };
  int label = 9, count = 0;
  for (int y = 0; y < bh && count < 59; ++y)
    for (int x = 1; x < bw && count < 59; ++x) {
      if (!free(at(x, y))) continue;
      at(x, y) = int8_t(label);
      ++count;
      if (bh != 1) {
        bool forward = true;
        for (;;) {
          bool changed = false;
          if (forward) {
            for (int yy = 1; yy < bh; ++yy)
              for (int xx = 1; xx < bw; ++xx)
                if (free(at(xx, yy)) && (at(xx, yy - 1) >= 9 || at(xx - 1, yy) >= 9))
                  at(xx, yy) = int8_t(label), changed = true;
          } else {
            for (int yy = bh - 1; yy >= 0; --yy)
              for (int xx = bw - 1; xx >= 0; --xx)
                if (free(at(xx, yy)) &&
                    ((yy + 1 < bh && at(xx, yy + 1) >= 9) || (xx + 1 < bw && at(xx + 1, yy) >= 9)))
                  at(xx, yy) = int8_t(label), changed = true;
          }
          if (!changed) break;
          forward = !forward;
        }
      }
      ++label;
    }
  if (bw > 1 && bh > 1 && at(0, 1) > 0 && at(1, 0) > 0) at(0, 0) = at(1, 0);
  return count;
}

int FilterComponents(int8_t *map, int bw, int bh, int minimum) {
  std::vector<int8_t> copy(map, map + bw * bh);
  const int labels = LabelComponents(map, bw, bh);
  if (labels == 0) return 0;
  int kept = 0;
  std::vector<bool> keep(labels);
  for (int l = 0; l < labels; ++l) {
    int size = 0;
    for (int k = 0; k < bw * bh; ++k) size += map[k] == 9 + l;
    keep[l] = size >= minimum;
    kept += keep[l];
    if (!keep[l])
      for (int k = 0; k < bw * bh; ++k)
        if (map[k] == 9 + l) map[k] = 0;
  }
  if (kept > 0) {
    for (int l = 0; l < labels; ++l) {
      if (!keep[l]) continue;
      const int8_t lab = int8_t(9 + l);
      for (int j = 1; j < bh; ++j) {
        int8_t *row = map + j * bw;
        int pos = -1;
        for (int x = 0; x < bw; ++x)
          if (row[x] == lab && (x + 1 == bw || row[x + 1] != lab) && x >= 1) {
            pos = x;
            break;
          }
        if (pos < 0) continue;
        int c = -1;
        for (int x = pos + 1; x < bw; ++x)
          if (row[x] == lab) {
            c = x;
            break;
          }
        if (c < 0 || c >= bw - 1) continue;
        bool above = false, below = false;
        for (int yy = 1; yy < j; ++yy) above = above || map[yy * bw + pos + 1] == lab;
        for (int yy = j + 1; yy < bh; ++yy) below = below || map[yy * bw + pos + 1] == lab;
        if (!above || !below) continue;
        for (int x = pos + 1; x < c; ++x) row[x] = lab, copy[j * bw + x] = 1;
      }
    }
  }
  for (int k = 0; k < bw * bh; ++k)
    if (map[k] > 0) map[k] = copy[k];
  return kept;
}

int BuildBlockMap(const uint8_t *image, int W, int H, int8_t *raw, int level) {
  const int bw = W / 8, bh = H / 8;
  std::memset(raw, 0, bw * bh);
  if (level < 20) return 0;
  int s;
  if (level < 40) s = 2;
  else if (level < 60) s = 3;
  else if (level < 80) s = 4;
  else if (level < 110) s = 5;
  else if (level < 130) s = 6;
  else if (level < 170) s = 7;
  else s = std::max(12, (level - 219) / 2);
  if (H <= 48) return 0;
  const int mw = W / 32 + 4, mh = H / 32 + 4;
  std::vector<uint8_t> mask(mw * mh, 0);
  bool hit = false;
  for (int k = 0; k <= (H - 49) / 32; ++k)
    for (int j = 0; j <= (W - 49) / 32; ++j) {
      const int x = 16 + 32 * j, y = 16 + 32 * k;
      const int t = BlockDirectionVote(image, W, H, x, y, s);
      if (t > 0) {
        raw[(y / 8) * bw + x / 8] = int8_t(t);
        for (int m = k; m <= k + 2; ++m)
          for (int q = j; q <= j + 2; ++q) mask[m * mw + q] = 1;
        hit = true;
      }
    }
  if (!hit) return 0;
  for (int j = 0; j < bh; ++j)
    for (int i = 0; i < bw; ++i) {
      const int m = (8 * j) / 32 + 1, q = (8 * i) / 32 + 1;
      if (mask[m * mw + q] && raw[j * bw + i] <= 0)
        raw[j * bw + i] = int8_t(BlockDirectionVote(image, W, H, 8 * i, 8 * j, s));
    }
  const int f = FilterComponents(raw, bw, bh, 100);
  for (int x = 0; x < bw; ++x)
    if (raw[x] > 0 && raw[bw + x] == 0) raw[x] = 0;
  for (int x = 0; x < bw; ++x)
    if (raw[(bh - 1) * bw + x] > 0 && raw[(bh - 2) * bw + x] == 0) raw[(bh - 1) * bw + x] = 0;
  for (int y = 0; y < bh; ++y)
    if (raw[y * bw] > 0 && raw[y * bw + 1] == 0) raw[y * bw] = 0;
  for (int y = 0; y < bh; ++y)
    if (raw[y * bw + bw - 1] > 0 && raw[y * bw + bw - 2] == 0) raw[y * bw + bw - 1] = 0;
  int count = 0;
  for (int k = 0; k < bw * bh; ++k) count += raw[k] > 0;
  return (f << 16) | (count & 0xFFFF);
}

int FingerScore(const uint8_t *image, int W, int H) {
  const int bw = W / 8, bh = H / 8;
  std::vector<int8_t> map(bw * bh), raw(bw * bh);
  belnor::AnalysisContext ctx;
  if (belnor::AnalyseFinger(ctx, image, W, H, map.data(), raw.data()) == 0) return 0;
  const int level = ctx.lastBackgroundLevel;
  belnor::Rectangle r;
  belnor::MapBoundingBox(map.data(), bw, bh, &r);
  const int bw2 = r.right - r.left, bh2 = r.bottom - r.top;
  const long u = long(bw2) * bh2 * 64;
  long hist[256] = {}, S = 0, T = 0, i = 0;
  for (int y = 8 * r.top; y < 8 * r.bottom; ++y)
    for (int x = 8 * r.left; x < 8 * r.right; ++x) {
      const int p = image[y * W + x];
      ++hist[p];
      S += p;
      if (map[(y / 8) * bw + x / 8] > 0 && p + 24 < level) ++i, T += p;
    }
  const int v = u == i ? image[200] : int((S - T) / (u - i));
  int levels = 0;
  for (long c : hist) levels += c > 25;
  const int A = std::min(10, levels / 18);
  const int bright = std::max(0, (v - 160) / 16);
  int dark;
  if (i > 0) {
    const long m = T / i;
    dark = m < 240 ? std::min(5L, (240 - m) / 30) : 0;
  } else {
    dark = v < 240 ? std::min(5, (240 - v) / 30) : 0;
  }
  int area;
  if ((i == 0 && v >= 240) || i < 16384 || u < 31999) area = 0;
  else if (bh2 >= 44 && bw2 <= 11) area = 5;
  else area = i <= 43999 ? int(i * 25 / 44000) : 25;
  int p = 0, l = 0, q = 0, k = 0, j = 0;
  const int centre = (r.left + r.right) / 2;
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x) {
      int8_t &d = raw[y * bw + x];
      if (map[y * bw + x] == 0) {
        d = 0;
        continue;
      }
      if (d > 0) ++j;
      if (y < r.top || y >= r.top + std::min(bh2 / 2, 27) || d == 1 || d == 5) continue;
      if (x < centre) ++p, l += d > 5;
      else ++q, k += d < 5;
    }
  int symmetry = 0;
  if (8 * bw2 >= 91 && 8 * bh2 >= 171 && k >= 18 && l >= 18 && float(l) / float(p) >= 0.3f &&
      float(k) / float(q) >= 0.3f) {
    const int E = std::abs(k - l);
    const int x = std::min(40, int(40.0f * (1.0f - float(E > 10 ? E - 10 : E) / float(k + l))));
    symmetry = area != 0 ? x : x * 6 / 10;
  }
  int J = 0;
  for (int y = 1; y <= bh - 2; ++y)
    for (int x = 1; x <= bw - 2; ++x)
      if (raw[y * bw + x] > 0 && std::abs(raw[y * bw + x] - raw[y * bw + x - 1]) == 4) ++J;
  const int smooth = j > 0 ? (j - J) * 15 / j : 0;
  return A + bright + dark + area + symmetry + smooth;
}

int EdgeEnergyMap(const uint8_t *half, int w, int h, uint8_t *mask, int radius, uint8_t L) {
  if (radius > 16) return 0;
  auto px = [&](int x, int y) {
    x = std::min(std::max(x, 0), w - 1);
    y = std::min(std::max(y, 0), h - 1);
    return int(half[y * w + x]);
  };
  std::vector<int> G(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int gx = px(x + 1, y - 1) + 2 * px(x + 1, y) + px(x + 1, y + 1) - px(x - 1, y - 1) -
                     2 * px(x - 1, y) - px(x - 1, y + 1);
      const int gy = px(x - 1, y + 1) + 2 * px(x, y + 1) + px(x + 1, y + 1) - px(x - 1, y - 1) -
                     2 * px(x, y - 1) - px(x + 1, y - 1);
      G[y * w + x] = std::abs(gx) + std::abs(gy);
    }
  const int t = int(0.6 * L);
  int count = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      long sum = 0, cells = 0;
      for (int yy = std::max(0, y - radius); yy <= std::min(h - 1, y + radius); ++yy)
        for (int xx = std::max(0, x - radius); xx <= std::min(w - 1, x + radius); ++xx)
          sum += G[yy * w + xx], ++cells;
      const long mean = std::min(255L, sum / cells);
      mask[y * w + x] = uint8_t(mean);
      count += mean > t;
    }
  return count;
}

void Smooth3x3(uint8_t *map, int width, int height) {
  std::vector<uint8_t> src(map, map + width * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      int sum = 0, cells = 0;
      for (int yy = y - 1; yy <= y + 1; ++yy)
        for (int xx = x - 1; xx <= x + 1; ++xx)
          if (yy >= 0 && yy < height && xx >= 0 && xx < width) sum += src[yy * width + xx], ++cells;
      map[y * width + x] = uint8_t(sum / cells);
    }
}

void ApplyBackgroundMask(uint8_t *image, int W, int H, const uint8_t *mask, uint8_t L) {
  const int t = int(0.6 * L);
  const int w = W / 2, h = H / 2;
  for (int i = 0; i < h; ++i)
    for (int j = 0; j < w; ++j)
      if (mask[i * w + j] <= t)
        for (int dy = 0; dy < 2; ++dy)
          for (int dx = 0; dx < 2; ++dx) image[(2 * i + dy) * W + 2 * j + dx] = L;
  if (H < 5) return;
  auto P = [&](int x, int y) -> uint8_t & { return image[y * W + x]; };
  for (int y = 2; y <= H - 3; ++y)
    for (int x = 2; x <= W - 3; ++x) {
      const int p = P(x, y);
      if (p == L) continue;
      if ((P(x - 1, y + 1) >= L && P(x + 1, y - 1) >= L) || (P(x + 1, y + 1) >= L && P(x - 1, y - 1) >= L))
        P(x, y) = L;
      else if ((P(x - 1, y) == L && P(x - 2, y) == L) || (P(x + 1, y) == L && P(x + 2, y) == L) ||
               (P(x, y + 1) == L && P(x, y + 2) == L) || (P(x, y - 1) == L && P(x, y - 2) == L))
        P(x, y) = uint8_t((L + p) / 2);
    }
}

}  // namespace ref
