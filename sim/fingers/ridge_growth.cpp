// The growth runs mostly on a grid of half the resolution (a quarter of the
// work: the period is still four pixels or more there), then a few passes
// at the full resolution give the ridges their final shape.
#include "ridge_growth.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "finger_math.h"

namespace belnor::sim {
namespace {

// Kernel bank: directions over a half turn, periods in quarter pixels (of
// the full resolution).
constexpr int kDirections = 32;
constexpr float kPeriodMin = 7.5f, kPeriodStep = 0.25f;
constexpr int kPeriods = 17;  // 7.5 .. 11.5
constexpr int kCoarsePasses = 45, kFinePasses = 3;
// Growing passes amplify and clip, so that ridges saturate and spread.
constexpr float kGrowthGain = 6.0f;

int KernelIndex(float direction, float period) {
  int d = int(std::lround(direction / kPi * kDirections)) % kDirections;
  if (d < 0) d += kDirections;
  const int p = std::clamp(int(std::lround((period - kPeriodMin) / kPeriodStep)), 0, kPeriods - 1);
  return d * kPeriods + p;
}

// Even band-pass kernels of a scale (1: full resolution, 2: half), radius
// 6 / scale, rows padded to Row floats for whole vectors: a grating across
// the ridge direction under a Gaussian a little longer along the ridges than
// across them, so that the growth prefers to continue a ridge over starting
// a new one; no response to a flat area.
template <int Taps, int Row>
struct Bank {
  struct Kernel {
    float w[Taps][Row];
    float odd[Taps][Row];  // the same with the grating shifted a quarter period
    float gain;            // 1 / the response to a unit grating of its own direction and period
  };
  std::vector<Kernel> kernels;

  explicit Bank(int scale) : kernels(size_t(kDirections) * kPeriods) {
    constexpr int r = Taps / 2;
    for (int d = 0; d < kDirections; ++d)
      for (int p = 0; p < kPeriods; ++p) {
        const float direction = float(d) * kPi / kDirections;
        const float period = (kPeriodMin + float(p) * kPeriodStep) / float(scale);
        const float c = std::cos(direction), s = std::sin(direction);
        const float sa = 4.2f / float(scale), sc = 0.36f * period;
        Kernel &k = kernels[size_t(d) * kPeriods + p];
        k = Kernel{};
        float envelope[Taps][Taps], grating[Taps][Taps], shifted[Taps][Taps];
        double sum = 0, weight = 0;
        for (int v = -r; v <= r; ++v)
          for (int u = -r; u <= r; ++u) {
            const float along = float(u) * c + float(v) * s, across = -float(u) * s + float(v) * c;
            envelope[v + r][u + r] = std::exp(-0.5f * (along * along / (sa * sa) + across * across / (sc * sc)));
            grating[v + r][u + r] = std::cos(2 * kPi * across / period);
            shifted[v + r][u + r] = std::sin(2 * kPi * across / period);
            sum += envelope[v + r][u + r] * grating[v + r][u + r];
            weight += envelope[v + r][u + r];
          }
        // The flat response removed in proportion to the envelope.
        const float mean = float(sum / weight);
        double response = 0, oddResponse = 0;
        for (int v = 0; v < Taps; ++v)
          for (int u = 0; u < Taps; ++u) {
            k.w[v][u] = envelope[v][u] * (grating[v][u] - mean);
            k.odd[v][u] = envelope[v][u] * shifted[v][u];
            response += k.w[v][u] * grating[v][u];
            oddResponse += k.odd[v][u] * shifted[v][u];
          }
        k.gain = float(1.0 / response);
        // Both halves of the pair answer a grating alike.
        for (auto &row : k.odd)
          for (float &w : row) w *= float(response / oddResponse);
      }
  }
};

// Built when the library loads, before any thread that grows fingers
// starts, and never destroyed: a scanner's helper thread may grow one while
// the process exits.
const Bank<13, 16> &g_fineBank = *new Bank<13, 16>(1);
const Bank<7, 8> &g_coarseBank = *new Bank<7, 8>(2);

// A square grid of signal with a margin of the kernel radius around it (and
// room for whole-row reads at the right), zero outside.
struct Field {
  int side, margin, stride;
  std::vector<float> v;
  Field(int s, int m) : side(s), margin(m), stride(s + 2 * m + 16), v(size_t(stride) * size_t(s + 2 * m), 0.0f) {}
  float &at(int i, int j) { return v[size_t(j + margin) * size_t(stride) + size_t(i + margin)]; }
  const float &at(int i, int j) const { return v[size_t(j + margin) * size_t(stride) + size_t(i + margin)]; }
};

// One pass of filtering with each cell's own kernel. Tiles that neither hold
// signal nor touch a tile that does stay zero: the growth has not reached
// them yet.
template <int Taps, int Row>
void Pass(const Bank<Taps, Row> &bank, const std::vector<uint16_t> &kernelOf, const Field &in, Field *out,
          float gain, bool profile = false) {
  constexpr int kTile = 16;
  const int side = in.side, tiles = (side + kTile - 1) / kTile;
  std::vector<uint8_t> held(size_t(tiles) * tiles, 0);
  for (int j = 0; j < side; ++j)
    for (int i = 0; i < side; ++i)
      if (in.at(i, j) != 0) held[size_t(j / kTile) * tiles + size_t(i / kTile)] = 1;
  for (int tj = 0; tj < tiles; ++tj)
    for (int ti = 0; ti < tiles; ++ti) {
      bool live = false;
      for (int v = std::max(0, tj - 1); v <= std::min(tiles - 1, tj + 1); ++v)
        for (int u = std::max(0, ti - 1); u <= std::min(tiles - 1, ti + 1); ++u) live |= held[size_t(v) * tiles + u] != 0;
      for (int j = tj * kTile; j < std::min(side, (tj + 1) * kTile); ++j)
        for (int i = ti * kTile; i < std::min(side, (ti + 1) * kTile); ++i) {
          if (!live) {
            out->at(i, j) = 0;
            continue;
          }
          const auto &k = bank.kernels[kernelOf[size_t(j) * side + i]];
          // Lanes summed at the end: the same sum on every build.
          float lane[Row] = {};
          const float *src = &in.at(i - Taps / 2, j - Taps / 2);
          for (int v = 0; v < Taps; ++v) {
            const float *row = src + size_t(v) * size_t(in.stride);
            for (int u = 0; u < Row; ++u) lane[u] += k.w[v][u] * row[u];
          }
          float sum = 0;
          for (int u = 0; u < Row; ++u) sum += lane[u];
          if (!profile) {
            out->at(i, j) = std::clamp(gain * k.gain * sum, -1.0f, 1.0f);
            continue;
          }
          // The profile: the cosine of the local ridge phase, from the pair
          // of kernels, so that every ridge has the same depth, also where
          // ridges end or fork.
          float oddLane[Row] = {};
          for (int v = 0; v < Taps; ++v) {
            const float *row = src + size_t(v) * size_t(in.stride);
            for (int u = 0; u < Row; ++u) oddLane[u] += k.odd[v][u] * row[u];
          }
          float odd = 0;
          for (int u = 0; u < Row; ++u) odd += oddLane[u];
          out->at(i, j) = sum / std::sqrt(sum * sum + odd * odd + 1e-6f);
        }
    }
}

// The flow on the coarse grid, cell (i, j) at finger coordinates
// (2 i - extent, 2 j - extent): the doubled direction as a vector (so that
// it can be interpolated) and the period.
struct CoarseFlow {
  int side;
  std::vector<float> c2, s2, period;
  CoarseFlow(const RidgeFlow &flow, int half, int extent)
      : side(half), c2(size_t(half) * half), s2(c2.size()), period(c2.size()) {
    for (int j = 0; j < half; ++j)
      for (int i = 0; i < half; ++i) {
        const float x = float(2 * i - extent), y = float(2 * j - extent), a = 2 * flow.Direction(x, y);
        const size_t k = size_t(j) * half + i;
        c2[k] = std::cos(a);
        s2[k] = std::sin(a);
        period[k] = flow.Period(x, y);
      }
  }
  std::vector<uint16_t> Coarse() const {
    std::vector<uint16_t> out(c2.size());
    for (size_t k = 0; k < out.size(); ++k) out[k] = uint16_t(KernelIndex(0.5f * FastAtan2(s2[k], c2[k]), period[k]));
    return out;
  }
  // The full grid's kernels, the flow interpolated between coarse cells.
  std::vector<uint16_t> Fine(int full) const {
    std::vector<uint16_t> out(size_t(full) * full);
    for (int j = 0; j < full; ++j)
      for (int i = 0; i < full; ++i) {
        const int i0 = i / 2, j0 = j / 2, i1 = std::min(side - 1, i0 + (i & 1)), j1 = std::min(side - 1, j0 + (j & 1));
        const size_t k00 = size_t(j0) * side + i0, k10 = size_t(j0) * side + i1, k01 = size_t(j1) * side + i0,
                     k11 = size_t(j1) * side + i1;
        const float c = c2[k00] + c2[k10] + c2[k01] + c2[k11], s = s2[k00] + s2[k10] + s2[k01] + s2[k11];
        const float p = 0.25f * (period[k00] + period[k10] + period[k01] + period[k11]);
        out[size_t(j) * full + i] = uint16_t(KernelIndex(0.5f * FastAtan2(s, c), p));
      }
    return out;
  }
};

float SegmentDistance(float x, float y, float x0, float y0, float x1, float y1) {
  const float dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
  const float t = len2 > 0 ? std::clamp(((x - x0) * dx + (y - y0) * dy) / len2, 0.0f, 1.0f) : 0.0f;
  return std::hypot(x - x0 - t * dx, y - y0 - t * dy);
}

// The way a loop opens from its core: the ray along which the ridges run
// parallel to it (on the other side they cross it).
float LoopOpening(const RidgeFlow &flow, const Singularity &core) {
  const float r = 2.0f * flow.period;
  float best = 0, bestOff = 2;
  for (int k = 0; k < 360; ++k) {
    const float a = float(k) * kPi / 180;
    const float off = std::fabs(std::sin(flow.Direction(core.x + r * std::cos(a), core.y + r * std::sin(a)) - a));
    if (off < bestOff) bestOff = off, best = a;
  }
  return best;
}

}  // namespace

std::vector<float> GrowRidges(const RidgeFlow &flow, int extent, uint32_t seed, int seeds) {
  const int side = 2 * extent + 1, half = extent + 1;

  Field a(half, 3), b(half, 3);
  // Around the cores the ridges start as they lie in a plain loop: around
  // the line the loop opens along (a whorl: around the segment between its
  // cores), the innermost ridge or valley on it. Left to chance, the growth
  // piles up ridge ends at the cores; drawn alike, every core would look the
  // same, so length, reach and phase are the finger's own.
  Random rng(HashCombine(seed, 0x6e0d));
  std::vector<Singularity> cores;
  for (const Singularity &s : flow.singularities)
    if (s.core) cores.push_back(s);
  struct Head {
    float x0, y0, x1, y1, reach, phase;
  };
  std::vector<Head> heads;
  if (cores.size() == 2) {
    heads.push_back({cores[0].x, cores[0].y, cores[1].x, cores[1].y, 0, 0});
  } else {
    for (const Singularity &c : cores) {
      const float open = LoopOpening(flow, c), length = rng.Uniform(0.3f, 3.0f) * flow.period;
      heads.push_back({c.x, c.y, c.x + length * std::cos(open), c.y + length * std::sin(open), 0, 0});
    }
  }
  float keepOff = 0;
  for (Head &h : heads) {
    h.reach = rng.Uniform(1.5f, 3.5f) * flow.period;
    h.phase = rng.Uniform(-0.5f, 0.5f) * kPi;
    keepOff = std::max(keepOff, 2 * h.reach);
    for (int j = 0; j < half; ++j)
      for (int i = 0; i < half; ++i) {
        const float x = float(2 * i - extent), y = float(2 * j - extent);
        const float d = SegmentDistance(x, y, h.x0, h.y0, h.x1, h.y1);
        if (d < h.reach) a.at(i, j) = std::cos(2 * kPi * d / flow.Period(x, y) + h.phase);
      }
  }

  // Elsewhere specks at random places: the fronts growing from them meet
  // where chance has it, and so do the minutiae.
  for (int n = 0; n < seeds; ++n) {
    const int i = 2 + rng.Below(half - 4), j = 2 + rng.Below(half - 4);
    bool nearCore = false;
    for (const Singularity &c : cores)
      nearCore |= std::hypot(float(2 * i - extent) - c.x, float(2 * j - extent) - c.y) < keepOff;
    if (nearCore) continue;
    const float sign = rng.Below(2) ? 1.0f : -1.0f;
    for (int dj = -1; dj <= 1; ++dj)
      for (int di = -1; di <= 1; ++di) a.at(i + di, j + dj) = sign;
  }
  const CoarseFlow flowMap(flow, half, extent);
  const std::vector<uint16_t> coarse = flowMap.Coarse();
  for (int pass = 0; pass < kCoarsePasses; ++pass) {
    Pass(g_coarseBank, coarse, a, &b, kGrowthGain);
    std::swap(a, b);
  }

  // Up to the full resolution, then the last passes there.
  Field c(side, 6), d(side, 6);
  for (int j = 0; j < side; ++j)
    for (int i = 0; i < side; ++i) {
      const int i0 = i / 2, j0 = j / 2, i1 = std::min(half - 1, i0 + (i & 1)), j1 = std::min(half - 1, j0 + (j & 1));
      c.at(i, j) = 0.25f * (a.at(i0, j0) + a.at(i1, j0) + a.at(i0, j1) + a.at(i1, j1));
    }
  const std::vector<uint16_t> fine = flowMap.Fine(side);
  for (int pass = 0; pass < kFinePasses; ++pass) {
    Pass(g_fineBank, fine, c, &d, kGrowthGain, pass + 1 == kFinePasses);
    std::swap(c, d);
  }

  std::vector<float> out(size_t(side) * side);
  for (int j = 0; j < side; ++j)
    for (int i = 0; i < side; ++i) out[size_t(j) * side + i] = c.at(i, j);
  return out;
}

}  // namespace belnor::sim
