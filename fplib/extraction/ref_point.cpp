#include "ref_point.h"

#include <algorithm>
#include <new>
#include <vector>

#include "thread_buffer.h"

namespace fplib {

namespace {

constexpr int N = kMapSize;
constexpr size_t kMaxRefCandidates = 639, kMaxStopRows = 1279;

struct Step {
  int row, lo, hi, code;
  int Width() const { return hi - lo; }
  int Middle() const { return (lo + hi) / 2; }
};

enum class Outcome { Continue, Fail, Found };

// The search's working memory, kept per thread.
struct SearchBuffers {
  std::vector<uint8_t> visited, marked;
  std::vector<Step> steps;
  std::vector<RefCandidate> candidates;
  std::vector<int> stopRows;
};

class Search {
 public:
  explicit Search(const SectorMap &map)
      : map_(map),
        buffers_(minutiae::threadObject<struct RefSearch, SearchBuffers>()),
        visited_(buffers_.visited),
        steps_(buffers_.steps),
        candidates_(buffers_.candidates),
        stopRows_(buffers_.stopRows) {
    visited_.assign(size_t(N) * N, 0);
    // Sized once per thread: a trace has at most one step per row.
    steps_.reserve(N);
    candidates_.reserve(kMaxRefCandidates);
    stopRows_.reserve(kMaxStopRows);
    steps_.clear();
    candidates_.clear();
    stopRows_.clear();
  }

  Outcome Run(int &row, int &col) {
    for (int F = map_.top; F < map_.bottom; ++F)
      for (int c = map_.left[F] - 2; c <= map_.right[F] - 1; ++c) {
        if (map_.S(F, c) != 1 || map_.S(F, c - 1) == 1 || Visited(F, c)) continue;
        int e = c + 1;
        while (e < N && map_.S(F, e) == 1) ++e;
        for (int k = c + 1; k < e; ++k) visited_[size_t(F) * N + k] = 1;
        if (!map_.S(F, c - 2) || !map_.S(F, e + 2)) continue;
        Trace(F, (c + e) / 2);
        const Outcome o = Evaluate(F, row, col);
        if (o != Outcome::Continue) return o;
      }
    return Choose(row, col) ? Outcome::Found : Outcome::Fail;
  }

 private:
  bool Visited(int r, int c) const { return c >= 0 && c < N && visited_[size_t(r) * N + c]; }

  int Code(int a, int b) const {
    if (a == 2 && b == 8) return 3;
    if (a <= 3 && b >= 7) return 2;
    if (a <= 4 && b >= 6) return 1;
    if (a > 5 || b < 5) return -1;
    return 0;
  }

  // Follows the run of sector-1 cells through (r, p) downwards.
  void Trace(int r, int p) {
    steps_.clear();
    sum_ = 0;
    best_ = -999;
    bestStep_ = 0;
    while (true) {
      int lo = p, hi = p;
      while (map_.S(r, lo) == 1) visited_[size_t(r) * N + lo--] = 1;
      while (map_.S(r, hi + 1) == 1) visited_[size_t(r) * N + ++hi] = 1;
      ++hi;
      const int code = Code(map_.S(r, lo - 1), map_.S(r, hi + 1));
      steps_.push_back({r, lo, hi, code});
      sum_ += code;
      if (sum_ > best_) {
        best_ = sum_;
        bestStep_ = int(steps_.size());
      }
      p = (lo + hi) / 2;
      if (++r >= N) return;
      int next = -1;
      for (int c = p; next < 0 && c >= lo; --c)
        if (map_.S(r, c) == 1) next = c;
      for (int c = p + 1; next < 0 && c <= hi; ++c)
        if (map_.S(r, c) == 1) next = c;
      if (next < 0) return;
      p = next;
    }
  }

  const Step &At(int s) const { return steps_[size_t(s) - 1]; }  // steps count from 1

  // Share of the row's extent taken by the run of step s above one half.
  bool Wide(int s) const {
    const int extent = map_.right[At(s).row] - map_.left[At(s).row];
    return extent > 0 ? 2 * At(s).Width() > extent : extent == 0;
  }

  Outcome Evaluate(int F, int &row, int &col) {
    const int M = int(steps_.size());
    if (M < 16 || At(M).row - map_.top < 15) return Outcome::Continue;
    int l = 1;
    for (int s = 2; s <= M; ++s)
      if (At(s).code >= 2) {
        l = s;
        break;
      }
    int n = M;
    if (At(M).row < map_.searchBound)
      for (int s = M; s >= 2; --s)
        if (At(s).code > 0) {
          n = s;
          break;
        }
    if (n - l < 8) return Outcome::Continue;
    const int m = (n + l) / 2;
    int sum1 = 0, sum2 = 0, w = 0;
    for (int s = l; s <= m; ++s) sum1 += At(s).Width();
    for (int s = m + 1; s <= n; ++s) sum2 += At(s).Width();
    for (int s = m; s <= n - 1; ++s) w += Wide(s);
    const int a1 = sum1 / (m - l + 1), a2 = sum2 / (n - m);

    if (n - l > 60 && At(l).row - map_.top <= 29 && best_ > 150) {
      if (n > 120 && (At(n).row > map_.searchBound || map_.bottom - At(n).row <= 29) && l + 20 < n - 20) {
        int narrowest = l + 20;
        for (int s = l + 20; s <= n - 21; ++s)
          if (At(s).Width() < At(narrowest).Width()) narrowest = s;
        if (At(narrowest).Width() <= 59) {
          int t = 0;
          for (int s = narrowest + 1; s <= std::min(narrowest + 19, M); ++s) t += At(s).code;
          if (t > 20) return Outcome::Fail;
          if (t < -9) {
            row = At(bestStep_).row;
            col = At(bestStep_).Middle();
            return Outcome::Found;
          }
        }
      }
      if (bestStep_ > 23) Add({bestStep_, At(bestStep_).row, At(bestStep_).Middle(), At(bestStep_).lo, At(bestStep_).hi, best_});
      return Outcome::Continue;
    }

    const bool considered = (a1 - a2 >= -4 || (a1 <= 14 && a2 <= 14)) && sum_ > 16 && w <= 4 &&
                            map_.searchBound - At(n).row > 20;
    if (considered) {
      const Step &end = At(n);
      if (n > 23 && (sum_ > 31 || windingIndex(map_, end.row, end.Middle()) > 1))
        Add({n, end.row, end.Middle(), end.lo, end.hi, sum_});
      return Outcome::Continue;
    }
    if (StopsTheSearch(F, n, a1, a2)) {
      if (stopRows_.size() < kMaxStopRows) stopRows_.push_back(F);
    }
    return Outcome::Continue;
  }

  bool StopsTheSearch(int F, int n, int a1, int a2) const {
    const int endRow = At(n).row;
    if (!((a2 > 30 && a1 < a2 && n > 24 && map_.bottom - endRow < 100) || endRow - map_.searchBound > 12))
      return false;
    for (int s = 1; s <= 10; ++s)
      if (!map_.S(At(s).row, At(s).hi + 4) || !map_.S(At(s).row, At(s).lo - 4)) return false;
    int ones = 0;
    for (int c = At(1).lo; c < At(1).hi; ++c) ones += map_.S(F - 1, c) == 1;
    if (ones > 8) return false;
    // Traces shorter than 20 steps have no step 20 to judge.
    if (int(steps_.size()) >= 20) {
      const int r = At(20).row;
      int upright = 0;
      for (int c = map_.left[r]; c < map_.right[r]; ++c) upright += map_.S(r, c) >= 4 && map_.S(r, c) <= 6;
      if (upright > 0.6 * (map_.right[r] - map_.left[r])) return false;
    }
    return true;
  }

  void Add(const RefCandidate &c) {
    if (candidates_.size() < kMaxRefCandidates) candidates_.push_back(c);
  }

  bool Choose(int &row, int &col) {
    limitRow_ = map_.searchBound;
    for (int r : stopRows_) limitRow_ = std::min(limitRow_, r);
    const int choice = chooseCandidate(candidates_, limitRow_);
    if (choice < 0) return false;
    const RefCandidate &c = candidates_[size_t(choice)];
    row = c.row;
    col = c.middle;
    Refine(c, row, col);
    return true;
  }

  // Moves the point down along sector-1 runs and chains of the bordering sectors.
  void Refine(const RefCandidate &chosen, int &repRow, int &repCol) {
    const int lo0 = chosen.lo, hi0 = chosen.hi;
    int r = chosen.row, c = chosen.middle;
    if (hi0 - lo0 > 8) r -= 6;
    bool toChains = false;
    while (true) {
      int k = -1;
      if (r + 1 <= N - 1)
        for (int d = -2; d <= 2 && k < 0; ++d)
          if (c + d >= 0 && c + d < N && map_.S(r + 1, c + d) == 1) k = c + d;
      if (k < 0) break;
      int L = 200, R = 0;
      for (int j = k - 1; j >= std::max(k - 20, 0) + 1; --j)
        if (map_.S(r + 1, j) != 1) {
          L = j;
          break;
        }
      for (int j = k + 1; j <= std::min(k + 20, 200) - 1; ++j)
        if (map_.S(r + 1, j) != 1) {
          R = j;
          break;
        }
      const int sl = L < 200 ? map_.S(r + 1, L) : 0, sr = R > 0 ? map_.S(r + 1, R) : 9;
      if ((L < 200 && (sl < 2 || sl > 4)) || (R > 0 && sr <= 5)) {
        toChains = true;
        break;
      }
      if (R < lo0 || L > hi0) break;
      ++r;
      c = (L + R) / 2;
      repRow = r;
      repCol = c;
    }
    if (!toChains && (r > limitRow_ - 20 || c < 20 || c > 180)) return;
    if (r < limitRow_ - 10) {
      repRow = r;
      repCol = c;
    }
    ChainScan(r, c, repRow, repCol);
  }

  void ChainScan(int r, int c, int &repRow, int &repCol) {
    std::vector<uint8_t> &marked = buffers_.marked;
    marked.assign(size_t(N) * N, 0);
    const int rowEnd = std::min({r + 36, limitRow_ - 2, 183}), colEnd = std::min(c + 20, 183);
    for (int i0 = std::max(r + 1, 17); i0 < rowEnd; ++i0)
      for (int j0 = std::max(c - 20, 17); j0 < colEnd; ++j0) {
        const int leftS = map_.S(i0, j0 - 1), cellS = map_.S(i0, j0);
        if (marked[size_t(i0) * N + j0] || !(leftS == 0 || (leftS >= 2 && leftS <= 4)) || cellS < 6 ||
            windingIndex(map_, i0, j0) < 1)
          continue;
        int i = i0, j = j0, length = 1;
        auto report = [&] {
          if (length > 3 && repRow <= i && i + 1 < limitRow_ - 2) {
            repRow = i;
            repCol = j;
          }
        };
        while (true) {
          bool upright = false;
          for (int jj = std::max(j - 2, 0); jj <= std::min(j + 2, N - 1); ++jj) upright |= map_.S(i - 1, jj) == 5;
          if (upright) {
            report();
            return;
          }
          int next = -1;
          if (i + 1 <= N - 1)
            for (int jj = j - 1; jj <= j + 1 && next < 0; ++jj)
              if (jj >= 0 && jj + 1 <= N - 1 && map_.S(i + 1, jj) == cellS && map_.S(i + 1, jj - 1) == leftS) next = jj;
          if (next < 0) {
            report();
            break;
          }
          ++length;
          ++i;
          j = next;
          marked[size_t(i) * N + j] = marked[size_t(i) * N + j + 1] = 1;
        }
      }
  }

  const SectorMap &map_;
  SearchBuffers &buffers_;
  std::vector<uint8_t> &visited_;
  std::vector<Step> &steps_;
  std::vector<RefCandidate> &candidates_;
  std::vector<int> &stopRows_;
  int sum_ = 0, best_ = -999, bestStep_ = 0;
  int limitRow_ = 0;
};

}  // namespace

int chooseCandidate(const std::vector<RefCandidate> &candidates, int limitRow) {
  int choice = -1, bestScore = 0;
  for (size_t k = 0; k < candidates.size(); ++k) {
    const RefCandidate &c = candidates[k];
    if (c.score > bestScore && (c.row < limitRow + 20 || c.length + limitRow - c.row > 80)) {
      choice = int(k);
      bestScore = c.score;
    }
  }
  if (choice < 0 || candidates.size() < 2) return choice;
  const RefCandidate first = candidates[size_t(choice)];
  for (size_t k = 0; k < candidates.size(); ++k) {
    const RefCandidate &c = candidates[k];
    if (int(k) != choice && c.score > 10 && c.row <= first.row + 55 && c.middle > first.lo - 10 &&
        c.middle < first.hi + 10)
      choice = int(k);
  }
  return choice;
}

int searchRefPoint(const SectorMap &map, int &row, int &col) {
  Search search(map);
  return search.Run(row, col) == Outcome::Found ? 0 : -1;
}

int locateRefPoints(const uint8_t *field, uint16_t point[2]) {
  SectorMap &map = minutiae::threadObject<struct RefSectorMap, SectorMap>();
  map.Reset();
  buildSectorMap(field, map);
  int row = 0, col = 0;
  if (searchRefPoint(map, row, col) != 0) return -1;
  const int x = 2 * col - 2 * kMapLeft, y = 2 * row - 2 * kMapTop;
  if (x < 0 || x > 254 || y < 0 || y > 358) return -1;
  point[0] = uint16_t(x);
  point[1] = uint16_t(y);
  return 0;
}

}  // namespace fplib
