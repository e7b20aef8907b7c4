// RemapBilinear: the optimised remap against the plain reference, and the
// properties of bilinear sampling that the pipeline relies on.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "calibration_loader.h"
#include "remap.h"
#include "remap_reference.h"

using belnor::RemapBilinear;

namespace {

struct Frame {
  int width, height;
  std::vector<uint8_t> pixels;
};

Frame RandomFrame(int w, int h, std::mt19937 &rng) {
  Frame f{w, h, std::vector<uint8_t>(size_t(w) * h)};
  for (auto &b : f.pixels) b = uint8_t(rng());
  return f;
}

// Random positions whose right and lower neighbours stay inside the frame.
void RandomMaps(int n, const Frame &f, std::mt19937 &rng, std::vector<int32_t> *x,
                std::vector<int32_t> *y) {
  std::uniform_int_distribution<int32_t> dx(0, (f.width - 2) * 256 + 255);
  std::uniform_int_distribution<int32_t> dy(0, (f.height - 2) * 256 + 255);
  x->resize(n);
  y->resize(n);
  for (int k = 0; k < n; ++k) {
    (*x)[k] = dx(rng);
    (*y)[k] = dy(rng);
  }
}

TEST(RemapBilinear, EqualsReferenceOnRandomMapsAndImages) {
  std::mt19937 rng(7);
  // Odd sizes exercise the tail after the last group of eight.
  const int sizes[][4] = {{64, 48, 33, 17}, {13, 9, 7, 5}, {300, 200, 161, 123}, {2, 2, 1, 1},
                          {1424, 984, 640, 3}};
  for (auto &s : sizes) {
    const Frame f = RandomFrame(s[0], s[1], rng);
    const int w = s[2], h = s[3];
    std::vector<int32_t> mx, my;
    RandomMaps(w * h, f, rng, &mx, &my);
    std::vector<uint8_t> got(size_t(w) * h), want(size_t(w) * h);
    RemapBilinear(got.data(), w, h, f.pixels.data(), f.width, mx.data(), my.data());
    RemapBilinearReference(want.data(), w, h, f.pixels.data(), f.width, mx.data(), my.data());
    EXPECT_EQ(got, want) << s[0] << "x" << s[1];
  }
}

TEST(RemapBilinear, ExtremesOfTheFrame) {
  // Saturated pixels and positions on the last valid column and row: the
  // largest intermediate values and the gathers nearest the frame's ends.
  std::mt19937 rng(3);
  Frame f{40, 30, std::vector<uint8_t>(40 * 30, 255)};
  for (size_t i = 0; i < f.pixels.size(); i += 3) f.pixels[i] = uint8_t(rng() & 1 ? 0 : 255);
  std::vector<int32_t> mx, my;
  for (int k = 0; k < 64; ++k) {
    mx.push_back((k & 1) ? (38 << 8) + 255 : 0);
    my.push_back((k & 2) ? (28 << 8) + 255 : 0);
  }
  std::vector<uint8_t> got(64), want(64);
  RemapBilinear(got.data(), 8, 8, f.pixels.data(), f.width, mx.data(), my.data());
  RemapBilinearReference(want.data(), 8, 8, f.pixels.data(), f.width, mx.data(), my.data());
  EXPECT_EQ(got, want);
}

TEST(RemapBilinear, IdentityHalfPixelAndConstant) {
  std::mt19937 rng(11);
  const Frame f = RandomFrame(20, 10, rng);
  const int w = 19, h = 9;
  std::vector<int32_t> mx(w * h), my(w * h);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      mx[r * w + c] = c << 8;
      my[r * w + c] = r << 8;
    }
  std::vector<uint8_t> out(w * h);
  RemapBilinear(out.data(), w, h, f.pixels.data(), f.width, mx.data(), my.data());
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) ASSERT_EQ(out[r * w + c], f.pixels[r * 20 + c]);
  // Half a pixel to the right: the floor of the mean of two neighbours.
  for (auto &v : mx) v += 128;
  RemapBilinear(out.data(), w, h, f.pixels.data(), f.width, mx.data(), my.data());
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c)
      ASSERT_EQ(out[r * w + c], (f.pixels[r * 20 + c] + f.pixels[r * 20 + c + 1]) / 2);
  const Frame flat{20, 10, std::vector<uint8_t>(200, 77)};
  for (auto &v : my) v += 77;
  RemapBilinear(out.data(), w, h, flat.pixels.data(), flat.width, mx.data(), my.data());
  for (uint8_t v : out) ASSERT_EQ(v, 77);
}

TEST(RemapBilinear, BuiltInMapsMatchReference) {
  // The maps the pipeline really runs with, over a frame of the sensor size.
  std::mt19937 rng(5);
  for (int type : {1, 2}) {
    const int sw = type == 1 ? 1424 : 1280, sh = type == 1 ? 984 : 720;
    belnor::LoadedCalibration cal;
    ASSERT_EQ(belnor::LoadCalibration(type, sw, sh,
                                      [](uint32_t, uint8_t *, size_t) { return false; }, &cal),
              1);
    const Frame f = RandomFrame(sw, sh, rng);
    const int w = cal.maps.width, h = cal.maps.height;
    std::vector<uint8_t> got(size_t(w) * h), want(size_t(w) * h);
    RemapBilinear(got.data(), w, h, f.pixels.data(), sw, cal.maps.x.get(), cal.maps.y.get());
    RemapBilinearReference(want.data(), w, h, f.pixels.data(), sw, cal.maps.x.get(),
                           cal.maps.y.get());
    EXPECT_EQ(got, want) << "type " << type;
  }
}

}  // namespace
