// Inverting the remap: every corrected pixel cell, with its four corners'
// sensor positions from the maps, claims the sensor pixels inside it.
#include "scanner_optics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "calib_grids.h"
#include "remap.h"

namespace belnor::sim {
namespace {

struct Vec {
  float x, y;
};

// (s, t) with corner interpolation a + s (b - a) + t (c - a) + s t (a - b - c + d) = p.
bool InverseBilinear(Vec a, Vec b, Vec c, Vec d, Vec p, float *s, float *t) {
  float u = 0.5f, v = 0.5f;
  for (int i = 0; i < 8; ++i) {
    const float ex = a.x + u * (b.x - a.x) + v * (c.x - a.x) + u * v * (a.x - b.x - c.x + d.x) - p.x;
    const float ey = a.y + u * (b.y - a.y) + v * (c.y - a.y) + u * v * (a.y - b.y - c.y + d.y) - p.y;
    const float j00 = (b.x - a.x) + v * (a.x - b.x - c.x + d.x), j01 = (c.x - a.x) + u * (a.x - b.x - c.x + d.x);
    const float j10 = (b.y - a.y) + v * (a.y - b.y - c.y + d.y), j11 = (c.y - a.y) + u * (a.y - b.y - c.y + d.y);
    const float det = j00 * j11 - j01 * j10;
    if (std::fabs(det) < 1e-12f) return false;
    const float du = (ex * j11 - ey * j01) / det, dv = (ey * j00 - ex * j10) / det;
    u -= du;
    v -= dv;
    if (std::fabs(du) < 1e-6f && std::fabs(dv) < 1e-6f) break;
  }
  constexpr float kSlack = 1e-4f;
  if (u < -kSlack || u > 1 + kSlack || v < -kSlack || v > 1 + kSlack) return false;
  *s = std::clamp(u, 0.0f, 1.0f);
  *t = std::clamp(v, 0.0f, 1.0f);
  return true;
}

// Catmull-Rom weights of the four samples around a fraction.
void CubicWeights(float t, float w[4]) {
  const float t2 = t * t, t3 = t2 * t;
  w[0] = 0.5f * (-t3 + 2 * t2 - t);
  w[1] = 0.5f * (3 * t3 - 5 * t2 + 2);
  w[2] = 0.5f * (-3 * t3 + 4 * t2 + t);
  w[3] = 0.5f * (t3 - t2);
}

// Bicubic weights for each 256th of a pixel: the optics add little blur of
// their own to what the library's bilinear remap takes away.
struct CubicTable {
  float w[256][4];
  CubicTable() {
    for (int i = 0; i < 256; ++i) CubicWeights(float(i) / 256.0f, w[i]);
  }
};
const CubicTable kCubic;

}  // namespace

void SensorSize(int deviceType, int *width, int *height) {
  if (const BuiltinGrid *g = FindBuiltinGrid(deviceType)) {
    *width = g->sensorWidth;
    *height = g->sensorHeight;
  } else if (deviceType == 3) {
    *width = 1280;
    *height = 720;
  } else {
    *width = *height = 0;
  }
}

ScannerOptics::ScannerOptics(int deviceType, const std::vector<uint8_t> &record) : type_(deviceType) {
  SensorSize(deviceType, &sensorW_, &sensorH_);
  const CalibReader read = [&record](uint32_t offset, uint8_t *out, size_t length) {
    if (offset > record.size() || length > record.size() - offset) return false;
    std::memcpy(out, record.data() + offset, length);
    return true;
  };
  LoadCalibration(deviceType, sensorW_, sensorH_, read, &cal_);
  const size_t pixels = size_t(sensorW_) * sensorH_;
  sources_.assign(pixels, Source{kNone, kNone, 0, 0});
  const int W = cal_.maps.width, H = cal_.maps.height;
  if (!cal_.maps.x) {
    // No optics: the library crops the centre of the frame.
    const int ox = (sensorW_ - W) / 2, oy = (sensorH_ - H) / 2;
    for (int v = 0; v < H; ++v)
      for (int u = 0; u < W; ++u) {
        Place(size_t(v + oy) * sensorW_ + (u + ox), float(u), float(v));
      }
    IndexBlocks();
    return;
  }
  // The maps with one extrapolated node all round, so that the sensor pixels
  // the remap reads beside the image's edge pixels are covered too.
  const int EW = W + 2, EH = H + 2;
  std::vector<Vec> e(size_t(EW) * EH);
  auto at = [&](int u, int v) -> Vec & { return e[size_t(v + 1) * EW + (u + 1)]; };
  for (int v = 0; v < H; ++v)
    for (int u = 0; u < W; ++u) {
      const size_t k = size_t(v) * W + u;
      at(u, v) = {float(cal_.maps.x[k]) / 256.0f, float(cal_.maps.y[k]) / 256.0f};
    }
  for (int v = 0; v < H; ++v) {
    at(-1, v) = {2 * at(0, v).x - at(1, v).x, 2 * at(0, v).y - at(1, v).y};
    at(W, v) = {2 * at(W - 1, v).x - at(W - 2, v).x, 2 * at(W - 1, v).y - at(W - 2, v).y};
  }
  for (int u = -1; u <= W; ++u) {
    at(u, -1) = {2 * at(u, 0).x - at(u, 1).x, 2 * at(u, 0).y - at(u, 1).y};
    at(u, H) = {2 * at(u, H - 1).x - at(u, H - 2).x, 2 * at(u, H - 1).y - at(u, H - 2).y};
  }
  for (int v = -1; v < H; ++v) {
    for (int u = -1; u < W; ++u) {
      const Vec a = at(u, v), b = at(u + 1, v), c = at(u, v + 1), d = at(u + 1, v + 1);
      const int x0 = std::max(0, int(std::ceil(std::min({a.x, b.x, c.x, d.x}))));
      const int x1 = std::min(sensorW_ - 1, int(std::floor(std::max({a.x, b.x, c.x, d.x}))));
      const int y0 = std::max(0, int(std::ceil(std::min({a.y, b.y, c.y, d.y}))));
      const int y1 = std::min(sensorH_ - 1, int(std::floor(std::max({a.y, b.y, c.y, d.y}))));
      for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
          float s, t;
          if (!InverseBilinear(a, b, c, d, {float(x), float(y)}, &s, &t)) continue;
          Place(size_t(y) * sensorW_ + x, float(u) + s, float(v) + t);
        }
    }
  }
  IndexBlocks();
}

void ScannerOptics::Place(size_t pixel, float x, float y) {
  const int W = correctedWidth(), H = correctedHeight();
  auto split = [](float p, int size, uint16_t *whole, uint8_t *part) {
    p = std::clamp(p, 0.0f, float(size - 1));
    int i = int(p), f = int(std::lround((p - float(i)) * 256.0f));
    if (f == 256) ++i, f = 0;
    *whole = uint16_t(i);
    *part = uint8_t(f);
  };
  Source &s = sources_[pixel];
  split(x, W, &s.x, &s.fx);
  split(y, H, &s.y, &s.fy);
}

void ScannerOptics::IndexBlocks() {
  blocksW_ = (sensorW_ + kBlock - 1) / kBlock;
  blocksH_ = (sensorH_ + kBlock - 1) / kBlock;
  blocks_.assign(size_t(blocksW_) * blocksH_, SourceBox{1e9f, 1e9f, -1e9f, -1e9f});
  for (int y = 0; y < sensorH_; ++y)
    for (int x = 0; x < sensorW_; ++x) {
      const Source &s = sources_[size_t(y) * sensorW_ + x];
      if (s.x == kNone) continue;
      const float sx = float(s.x) + float(s.fx) / 256.0f, sy = float(s.y) + float(s.fy) / 256.0f;
      SourceBox &b = blocks_[size_t(y / kBlock) * blocksW_ + x / kBlock];
      b.x0 = std::min(b.x0, sx);
      b.x1 = std::max(b.x1, sx);
      b.y0 = std::min(b.y0, sy);
      b.y1 = std::max(b.y1, sy);
    }
}

ScannerOptics::FrameRect ScannerOptics::Reach(int x0, int y0, int x1, int y1) const {
  // The cubic reads two pixels either side of a position, and positions
  // beyond the image's edge read its edge pixels.
  const int W = correctedWidth(), H = correctedHeight();
  const float lx = x0 <= 2 ? -1e9f : float(x0 - 2), hx = x1 >= W - 2 ? 1e9f : float(x1 + 1);
  const float ly = y0 <= 2 ? -1e9f : float(y0 - 2), hy = y1 >= H - 2 ? 1e9f : float(y1 + 1);
  int bx0 = blocksW_, by0 = blocksH_, bx1 = -1, by1 = -1;
  if (x0 < x1 && y0 < y1)
    for (int by = 0; by < blocksH_; ++by)
      for (int bx = 0; bx < blocksW_; ++bx) {
        const SourceBox &b = blocks_[size_t(by) * blocksW_ + bx];
        if (b.x0 > b.x1 || b.x1 < lx || b.x0 > hx || b.y1 < ly || b.y0 > hy) continue;
        bx0 = std::min(bx0, bx);
        bx1 = std::max(bx1, bx);
        by0 = std::min(by0, by);
        by1 = std::max(by1, by);
      }
  FrameRect r;
  if (bx1 < 0) return r;
  r.x0 = bx0 * kBlock;
  r.x1 = std::min(sensorW_, (bx1 + 1) * kBlock);
  const int sy0 = by0 * kBlock, sy1 = std::min(sensorH_, (by1 + 1) * kBlock);
  // Type 5 sends its rows upside down.
  r.y0 = type_ == 5 ? sensorH_ - sy1 : sy0;
  r.y1 = type_ == 5 ? sensorH_ - sy0 : sy1;
  return r;
}

void ScannerOptics::Render(const uint8_t *corrected, uint8_t *frame) const {
  FrameRect all;
  all.x1 = sensorW_;
  all.y1 = sensorH_;
  Render(corrected, all, frame);
}

void ScannerOptics::Correct(const uint8_t *frame, uint8_t *corrected) const {
  const int w = correctedWidth(), h = correctedHeight();
  std::vector<uint8_t> upright(size_t(sensorW_) * size_t(sensorH_));
  for (int y = 0; y < sensorH_; ++y) {
    const uint8_t *src = frame + size_t(type_ == 5 ? sensorH_ - 1 - y : y) * size_t(sensorW_);
    uint8_t *dst = upright.data() + size_t(y) * size_t(sensorW_);
    for (int x = 0; x < sensorW_; ++x) dst[x] = SensorLevel(type_, src[x]);
  }
  if (!cal_.maps.x) {
    // No optics: the centre of the frame.
    for (int y = 0; y < h; ++y)
      std::memcpy(corrected + size_t(y) * size_t(w),
                  upright.data() + size_t(y + (sensorH_ - h) / 2) * size_t(sensorW_) + size_t((sensorW_ - w) / 2),
                  size_t(w));
    return;
  }
  RemapBilinear(corrected, w, h, upright.data(), sensorW_, cal_.maps.x.get(), cal_.maps.y.get());
}

void ScannerOptics::Render(const uint8_t *corrected, const FrameRect &rect, uint8_t *out) const {
  const int W = correctedWidth(), H = correctedHeight();
  const bool flip = type_ == 5;
  const size_t stride = size_t(rect.x1 - rect.x0);
  for (int fy = rect.y0; fy < rect.y1; ++fy) {
    const int y = flip ? sensorH_ - 1 - fy : fy;
    uint8_t *row = out + size_t(fy - rect.y0) * stride;
    const Source *src = sources_.data() + size_t(y) * sensorW_;
    for (int x = rect.x0; x < rect.x1; ++x) {
      const Source &s = src[x];
      float v = kOutsideGrey;
      if (s.x != kNone) {
        const float *wx = kCubic.w[s.fx], *wy = kCubic.w[s.fy];
        const int ix = s.x, iy = s.y;
        v = 0;
        if (ix >= 1 && iy >= 1 && ix + 2 < W && iy + 2 < H) {
          const uint8_t *p = corrected + size_t(iy - 1) * W + (ix - 1);
          for (int j = 0; j < 4; ++j, p += W)
            v += wy[j] * (wx[0] * float(p[0]) + wx[1] * float(p[1]) + wx[2] * float(p[2]) + wx[3] * float(p[3]));
        } else {
          // Beside the edge the samples are held to the image.
          for (int j = 0; j < 4; ++j) {
            const uint8_t *p = corrected + size_t(std::clamp(iy - 1 + j, 0, H - 1)) * W;
            float r = 0;
            for (int i = 0; i < 4; ++i) r += wx[i] * float(p[std::clamp(ix - 1 + i, 0, W - 1)]);
            v += wy[j] * r;
          }
        }
      }
      const uint8_t g = uint8_t(std::clamp(v + 0.5f, 0.0f, 255.0f));
      row[x - rect.x0] = SensorLevel(type_, g);
    }
  }
}

std::shared_ptr<const ScannerOptics> SharedOptics(int deviceType, const std::vector<uint8_t> &record) {
  struct Made {
    int type;
    std::vector<uint8_t> record;
    std::shared_ptr<const ScannerOptics> optics;
  };
  // Never destroyed: a scanner's frame thread may render while the process exits.
  static std::mutex &lock = *new std::mutex;
  static std::vector<Made> &made = *new std::vector<Made>;
  std::lock_guard<std::mutex> hold(lock);
  for (const Made &m : made)
    if (m.type == deviceType && m.record == record) return m.optics;
  made.push_back({deviceType, record, std::make_shared<const ScannerOptics>(deviceType, record)});
  return made.back().optics;
}

}  // namespace belnor::sim
