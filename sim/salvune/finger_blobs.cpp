#include "finger_blobs.h"

#include <algorithm>
#include <cstring>

namespace salvune {
namespace {

// A block is finger when it is this much darker than the bare platen.
constexpr int kDarker = 40;
// Blobs of fewer blocks are dirt or noise.
constexpr int kMinBlocks = 8;

std::vector<int> BlockMeans(const unsigned char *image, int width, int bw, int bh) {
  std::vector<int> means(static_cast<size_t>(bw) * bh);
  for (int by = 0; by < bh; ++by)
    for (int bx = 0; bx < bw; ++bx) {
      long sum = 0;
      for (int y = by * kBlock; y < (by + 1) * kBlock; ++y)
        for (int x = bx * kBlock; x < (bx + 1) * kBlock; ++x)
          sum += image[static_cast<size_t>(y) * width + x];
      means[static_cast<size_t>(by) * bw + bx] = static_cast<int>(sum / (kBlock * kBlock));
    }
  return means;
}

// The platen's level: the mean of the brightest tenth of the blocks.
int PlatenLevel(std::vector<int> means) {
  std::sort(means.begin(), means.end());
  const size_t n = std::max<size_t>(1, means.size() / 10);
  long sum = 0;
  for (size_t i = means.size() - n; i < means.size(); ++i) sum += means[i];
  return static_cast<int>(sum / static_cast<long>(n));
}

}  // namespace

std::vector<Blob> FindFingerBlobs(const unsigned char *image, int width, int height,
                                  int maxCount) {
  const int bw = width / kBlock, bh = height / kBlock;
  std::vector<Blob> blobs;
  if (bw <= 0 || bh <= 0 || maxCount <= 0) return blobs;
  const std::vector<int> means = BlockMeans(image, width, bw, bh);
  const int threshold = PlatenLevel(means) - kDarker;
  std::vector<char> seen(means.size(), 0);
  std::vector<int> stack;
  for (size_t start = 0; start < means.size(); ++start) {
    if (seen[start] || means[start] >= threshold) continue;
    Blob b{width, height, 0, 0, 0};
    seen[start] = 1;
    stack.assign(1, static_cast<int>(start));
    while (!stack.empty()) {
      const int i = stack.back();
      stack.pop_back();
      const int bx = i % bw, by = i / bw;
      ++b.blocks;
      b.left = std::min(b.left, bx * kBlock);
      b.top = std::min(b.top, by * kBlock);
      b.right = std::max(b.right, (bx + 1) * kBlock);
      b.bottom = std::max(b.bottom, (by + 1) * kBlock);
      const int next[4][2] = {{bx - 1, by}, {bx + 1, by}, {bx, by - 1}, {bx, by + 1}};
      for (const auto &n : next) {
        if (n[0] < 0 || n[0] >= bw || n[1] < 0 || n[1] >= bh) continue;
        const int j = n[1] * bw + n[0];
        if (!seen[j] && means[j] < threshold) {
          seen[j] = 1;
          stack.push_back(j);
        }
      }
    }
    if (b.blocks >= kMinBlocks) blobs.push_back(b);
  }
  std::stable_sort(blobs.begin(), blobs.end(),
                   [](const Blob &a, const Blob &b) { return a.blocks > b.blocks; });
  if (static_cast<int>(blobs.size()) > maxCount) blobs.resize(maxCount);
  std::sort(blobs.begin(), blobs.end(),
            [](const Blob &a, const Blob &b) { return a.left < b.left; });
  return blobs;
}

void CutFinger(const unsigned char *image, int width, int height, const Blob &blob, int cutW,
               int cutH, unsigned char *out, int *x, int *y) {
  const int x0 = (blob.left + blob.right) / 2 - cutW / 2, y0 = blob.top;
  std::memset(out, 255, static_cast<size_t>(cutW) * cutH);
  for (int r = 0; r < cutH; ++r) {
    const int sy = y0 + r;
    if (sy < 0 || sy >= height) continue;
    const int from = std::max(0, -x0), to = std::min(cutW, width - x0);
    if (from < to)
      std::memcpy(out + static_cast<size_t>(r) * cutW + from,
                  image + static_cast<size_t>(sy) * width + x0 + from,
                  static_cast<size_t>(to - from));
  }
  *x = x0;
  *y = y0;
}

}  // namespace salvune
