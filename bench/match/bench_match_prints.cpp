// Every pair of the sample prints through LIVESCAN_FeatureMatchMem and
// FP_FeatureMatch: per-call processor times (median of several passes) and, on request,
// every score as bits so two builds can be compared byte for byte.
//   bench_match_prints PRINTS_DIR [--passes N] [--scores FILE] [--only belnor|fplib] [--templates FILE] [--first N] [--swap 1] [--spread 1]
// --templates keeps the extracted templates in FILE (read when it exists), so
// that a profile of the matching leaves the extraction out. The pairs run
// with the first template fixed over the inner loop (one against many);
// --swap 1 fixes the second instead, so the first changes on every call;
// --spread 1 runs the pairs (i < j) along the diagonals i + j, so that calls
// in a row share a template only where one diagonal ends and the next starts.
// The step log runs as in use: standard output goes to /dev/null and the log
// file to a scratch directory.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "device_state.h"
#include "fplib.h"
#include "fplib_test_util.h"
#include "livescan.h"

namespace {

struct Grey {
  int w = 0, h = 0;
  std::vector<uint8_t> px;  // top row first
};

Grey LoadBmp(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bmp((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Grey g;
  if (bmp.size() < 1078) return g;
  auto le32 = [&](size_t at) { return int(bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 | bmp[at + 3] << 24); };
  const int offset = le32(10), w = le32(18), h = le32(22), stride = (w + 3) & ~3;
  if (w <= 0 || h <= 0 || bmp.size() < size_t(offset) + size_t(stride) * h) return g;
  g.w = w;
  g.h = h;
  g.px.resize(size_t(w) * h);
  for (int y = 0; y < h; ++y) std::memcpy(&g.px[size_t(y) * w], &bmp[size_t(offset) + size_t(h - 1 - y) * stride], w);
  return g;
}

// The print centred on a white 400 x 400 canvas, as an 8-bit BMP file.
std::vector<uint8_t> CanvasBmp(const Grey &g) {
  constexpr int kSide = 400;
  std::vector<uint8_t> canvas(size_t(kSide) * kSide, 255);
  const int ox = (kSide - g.w) / 2, oy = (kSide - g.h) / 2;
  for (int y = 0; y < g.h; ++y)
    for (int x = 0; x < g.w; ++x) {
      const int cx = x + ox, cy = y + oy;
      if (cx >= 0 && cx < kSide && cy >= 0 && cy < kSide) canvas[size_t(cy) * kSide + cx] = g.px[size_t(y) * g.w + x];
    }
  return fptest::WrapBmp(canvas, kSide, kSide);
}

// The 256 x 360 window at the print's centre.
std::vector<uint8_t> CentreWindow(const Grey &g) {
  std::vector<uint8_t> out(FP_IMAGE_SIZE, 255);
  const int ox = (g.w - FP_IMAGE_WIDTH) / 2, oy = (g.h - FP_IMAGE_HEIGHT) / 2;
  for (int y = 0; y < FP_IMAGE_HEIGHT; ++y)
    for (int x = 0; x < FP_IMAGE_WIDTH; ++x) {
      const int sx = x + ox, sy = y + oy;
      if (sx >= 0 && sx < g.w && sy >= 0 && sy < g.h) out[size_t(y) * FP_IMAGE_WIDTH + x] = g.px[size_t(sy) * g.w + sx];
    }
  return out;
}

uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// The calling thread's processor time in microseconds: on a shared, busy
// machine it leaves out the time the thread waited for a core.
double ThreadMicros() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

// The pairs i < j, row by row or along the diagonals i + j.
std::vector<std::pair<int, int>> PairOrder(int n, bool spread) {
  std::vector<std::pair<int, int>> order;
  if (!spread) {
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j) order.emplace_back(i, j);
    return order;
  }
  for (int d = 1; d <= 2 * n - 3; ++d)
    for (int i = std::max(0, d - n + 1); i < d - i; ++i) order.emplace_back(i, d - i);
  return order;
}

// Median over passes of the mean time per call of fn(i, j) over all pairs.
template <class Fn>
double TimeAllPairs(const std::vector<std::pair<int, int>> &order, int passes, Fn fn) {
  std::vector<double> per;
  for (int p = 0; p < passes; ++p) {
    const double t0 = ThreadMicros();
    for (const auto &ij : order) fn(ij.first, ij.second);
    per.push_back((ThreadMicros() - t0) / double(order.size()));
  }
  return Median(per);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PRINTS_DIR [--passes N] [--scores FILE] [--only belnor|fplib]\n", argv[0]);
    return 2;
  }
  const std::filesystem::path dir = std::filesystem::absolute(argv[1]);
  int passes = 5;
  std::string scoresPath, only, templatesPath;
  size_t first = 0;
  bool swap = false, spread = false;
  for (int a = 2; a + 1 < argc; a += 2) {
    if (!std::strcmp(argv[a], "--passes")) passes = std::max(1, std::atoi(argv[a + 1]));
    if (!std::strcmp(argv[a], "--scores")) scoresPath = std::filesystem::absolute(argv[a + 1]).string();
    if (!std::strcmp(argv[a], "--only")) only = argv[a + 1];
    if (!std::strcmp(argv[a], "--swap")) swap = std::atoi(argv[a + 1]) != 0;
    if (!std::strcmp(argv[a], "--spread")) spread = std::atoi(argv[a + 1]) != 0;
    if (!std::strcmp(argv[a], "--first")) first = size_t(std::max(2, std::atoi(argv[a + 1])));
    if (!std::strcmp(argv[a], "--templates")) templatesPath = std::filesystem::absolute(argv[a + 1]).string();
  }
  std::vector<std::filesystem::path> files;
  for (const auto &e : std::filesystem::directory_iterator(dir))
    if (e.path().extension() == ".bmp") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  if (first > 0 && first < files.size()) files.resize(first);
  std::vector<Grey> prints;
  for (const auto &f : files) prints.push_back(LoadBmp(f));
  const int n = int(prints.size());
  if (n < 2) {
    std::fprintf(stderr, "no prints in %s\n", dir.c_str());
    return 2;
  }

  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("bench_match_prints." + std::to_string(getpid()));
  std::filesystem::create_directories(scratch);
  std::filesystem::current_path(scratch);
  std::fflush(stdout);
  const int savedOut = dup(STDOUT_FILENO);
  const int devnull = open("/dev/null", O_WRONLY);
  if (devnull >= 0) dup2(devnull, STDOUT_FILENO);
  FILE *report = fdopen(savedOut, "w");

  belnor::g_bInitialized = 1;
  FP_Begin();
  std::vector<std::vector<uint8_t>> ft(n, std::vector<uint8_t>(606)), ct(n, std::vector<uint8_t>(FP_TEMPLATE_SIZE));
  std::vector<std::vector<uint8_t>> windows(n);
  std::ifstream cached(templatesPath, std::ios::binary);
  for (int i = 0; i < n; ++i) {
    windows[size_t(i)] = CentreWindow(prints[size_t(i)]);
    if (cached) {
      cached.read(reinterpret_cast<char *>(ft[size_t(i)].data()), std::streamsize(ft[size_t(i)].size()));
      cached.read(reinterpret_cast<char *>(ct[size_t(i)].data()), std::streamsize(ct[size_t(i)].size()));
      continue;
    }
    const std::vector<uint8_t> bmp = CanvasBmp(prints[size_t(i)]);
    LIVESCAN_FeatureExtractMem(bmp.data(), int(bmp.size()), ft[size_t(i)].data());
    FP_FeatureExtract(1, 1, windows[size_t(i)].data(), ct[size_t(i)].data());
  }
  if (!cached && !templatesPath.empty()) {
    std::ofstream save(templatesPath, std::ios::binary);
    for (int i = 0; i < n; ++i) {
      save.write(reinterpret_cast<const char *>(ft[size_t(i)].data()), std::streamsize(ft[size_t(i)].size()));
      save.write(reinterpret_cast<const char *>(ct[size_t(i)].data()), std::streamsize(ct[size_t(i)].size()));
    }
  }

  if (!scoresPath.empty()) {
    FILE *out = std::fopen(scoresPath.c_str(), "w");
    if (!out) return 2;
    float s = 0;
    for (int i = 0; i < n; ++i)
      for (int j = i; j < n; ++j) {
        const size_t a = size_t(swap ? j : i), b = size_t(swap ? i : j);
        const int r1 = LIVESCAN_FeatureMatchMem(ft[a].data(), ft[b].data(), &s);
        const uint32_t b1 = Bits(s);
        const int r2 = FP_FeatureMatch(ct[a].data(), ct[b].data(), &s);
        std::fprintf(out, "%s %s %d %08x %d %08x\n", files[a].stem().c_str(), files[b].stem().c_str(),
                     r1, b1, r2, Bits(s));
      }
    // Image against template: each print against its own and the next one's.
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < 2; ++k) {
        const int j = (i + k) % n;
        const int r = FP_ImageMatch(windows[size_t(i)].data(), ct[size_t(j)].data(), &s);
        std::fprintf(out, "image %s %s %d %08x\n", files[size_t(i)].stem().c_str(), files[size_t(j)].stem().c_str(), r,
                     Bits(s));
      }
    std::fclose(out);
  }

  float sink = 0;
  const std::vector<std::pair<int, int>> order = PairOrder(n, spread);
  if (only != "fplib") {
    const double us = TimeAllPairs(order, passes, [&](int i, int j) {
      float s;
      if (swap) std::swap(i, j);
      LIVESCAN_FeatureMatchMem(ft[size_t(i)].data(), ft[size_t(j)].data(), &s);
      sink += s;
    });
    std::fprintf(report, "LIVESCAN_FeatureMatchMem  %d pairs  median of %d passes: %.2f us/call (thread CPU time)\n", n * (n - 1) / 2,
                 passes, us);
  }
  if (only != "belnor") {
    const double us = TimeAllPairs(order, passes, [&](int i, int j) {
      float s;
      if (swap) std::swap(i, j);
      FP_FeatureMatch(ct[size_t(i)].data(), ct[size_t(j)].data(), &s);
      sink += s;
    });
    std::fprintf(report, "FP_FeatureMatch           %d pairs  median of %d passes: %.2f us/call (thread CPU time)\n", n * (n - 1) / 2,
                 passes, us);
  }
  std::fprintf(report, "(checksum %g)\n", double(sink));
  FP_End();
  std::fclose(report);
  std::filesystem::current_path(dir);
  std::filesystem::remove_all(scratch);
  return 0;
}
