// Scenes and scanner optics: scene texts and timelines, finger layouts, and
// the round trip scene -> sensor frame -> the library's remap per type.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "calib_record_writer.h"
#include "scanner_optics.h"
#include "finger_scenes.h"

using namespace belnor;
using namespace belnor::sim;

namespace {

std::vector<uint8_t> View(const SceneRenderer &r, double t) {
  std::vector<uint8_t> v(size_t(r.width()) * r.height());
  r.Render(t, v.data());
  return v;
}

// Share of pixels darker than the platen by a ridge's depth.
double DarkShare(const std::vector<uint8_t> &v) {
  size_t n = 0;
  for (uint8_t p : v) n += p < 140;
  return double(n) / double(v.size());
}

TEST(Scenes, TextForms) {
  SceneSpec s;
  ASSERT_TRUE(ParseSceneSpec("slap-right@7", &s));
  EXPECT_EQ(s.kind, SceneKind::kSlapRight);
  EXPECT_EQ(s.seed, 7u);
  ASSERT_TRUE(ParseSceneSpec("flat-moving", &s));
  EXPECT_TRUE(s.moving);
  ASSERT_TRUE(ParseSceneSpec("image:/tmp/a.bmp", &s));
  EXPECT_EQ(s.imagePath, "/tmp/a.bmp");
  EXPECT_FALSE(ParseSceneSpec("flat@", &s));
  EXPECT_FALSE(ParseSceneSpec("palm", &s));
  EXPECT_FALSE(ParseSceneSpec("image:", &s));
}

TEST(Scenes, FlatFingerIsPlacedHeldAndLifted) {
  SceneSpec spec;
  ASSERT_TRUE(ParseSceneSpec("flat@3", &spec));
  const SceneRenderer r(spec, 640, 640);
  EXPECT_FALSE(r.FingerPresent(100));
  EXPECT_LT(DarkShare(View(r, 100)), 0.001);
  const double pressing = DarkShare(View(r, 500)), held = DarkShare(View(r, 2000));
  EXPECT_GT(pressing, 0.01);
  EXPECT_GT(held, pressing);
  EXPECT_GT(held, 0.05);
  EXPECT_LT(DarkShare(View(r, kLiftMs + 100)), 0.001);
  // One time, one image; the next cycle repeats the placement.
  EXPECT_EQ(View(r, 2000), View(r, 2000));
  EXPECT_EQ(r.Placements(2000)[0].minutiae.size(), r.Placements(2000 + kSceneCycleMs)[0].minutiae.size());
  // A held finger keeps its place unless the scene moves it.
  EXPECT_EQ(r.Placements(2000)[0].params.centreX, r.Placements(4000)[0].params.centreX);
  ASSERT_TRUE(ParseSceneSpec("flat-moving@3", &spec));
  const SceneRenderer m(spec, 640, 640);
  EXPECT_NE(m.Placements(2000)[0].params.centreX, m.Placements(2500)[0].params.centreX);
  EXPECT_FALSE(r.Placements(2000)[0].minutiae.empty());
}

TEST(Scenes, RollingBandSweepsAcrossThenLifts) {
  SceneSpec spec;
  ASSERT_TRUE(ParseSceneSpec("roll@4", &spec));
  const SceneRenderer r(spec, 640, 640);
  auto centroid = [&](double t) {
    const std::vector<uint8_t> v = View(r, t);
    double sx = 0, n = 0;
    for (int y = 0; y < 640; ++y)
      for (int x = 0; x < 640; ++x)
        if (v[size_t(y) * 640 + x] < 140) sx += x, ++n;
    return n > 0 ? sx / n : -1.0;
  };
  const double early = centroid(1100), middle = centroid(3500), late = centroid(5900);
  EXPECT_LT(early + 100, middle);
  EXPECT_LT(middle + 100, late);
  // The band shows only part of the rolled print at a time.
  EXPECT_LT(DarkShare(View(r, 3500)), 0.3);
  EXPECT_FALSE(r.FingerPresent(kLiftMs + 10));
}

TEST(Scenes, SlapsAndThumbsLayOutTheirFingers) {
  struct Want {
    const char *text;
    size_t fingers;
  };
  std::vector<std::vector<Impression>> layouts;
  for (const Want &w : {Want{"slap-left", 4}, Want{"slap-right", 4}, Want{"thumbs", 2}}) {
    SceneSpec spec;
    ASSERT_TRUE(ParseSceneSpec(w.text, &spec));
    const SceneRenderer r(spec, 1600, 1500);
    const std::vector<Impression> p = r.Placements(3000);
    ASSERT_EQ(p.size(), w.fingers) << w.text;
    for (size_t i = 0; i < p.size(); ++i) {
      // Fingers left to right, inside the platen, each with its minutiae.
      EXPECT_GT(p[i].params.centreX, 150);
      EXPECT_LT(p[i].params.centreX, 1450);
      if (i > 0) {
        EXPECT_GT(p[i].params.centreX, p[i - 1].params.centreX + 200) << w.text;
      }
      EXPECT_GE(p[i].minutiae.size(), 5u) << w.text;
    }
    EXPECT_GT(DarkShare(View(r, 3000)), 0.03) << w.text;
    layouts.push_back(p);
  }
  // The left hand's little finger (leftmost) sits lowest; the right hand's
  // is the rightmost.
  EXPECT_GT(layouts[0][0].params.centreY, layouts[0][2].params.centreY);
  EXPECT_GT(layouts[1][3].params.centreY, layouts[1][1].params.centreY);
  // A smaller platen shows part of the same hand: fingers keep their
  // spacing, and one lies in the middle.
  for (const SceneKind kind : {SceneKind::kSlapLeft, SceneKind::kSlapRight, SceneKind::kTwoThumbs})
    for (const auto &[w, h] : {std::pair{640, 640}, std::pair{258, 360}}) {
      const std::vector<PlacedFinger> hand = PlaceFingers(kind, 1, w, h);
      bool centred = false;
      for (size_t i = 0; i < hand.size(); ++i) {
        centred |= std::fabs(hand[i].base.centreX - w / 2.0f) < 1 && std::fabs(hand[i].base.centreY - h / 2.0f) < 1;
        if (i > 0) {
          EXPECT_GT(hand[i].base.centreX, hand[i - 1].base.centreX + 200) << w;
        }
      }
      EXPECT_TRUE(centred) << w;
    }
}

TEST(Scenes, ImageSceneShowsTheFileCentred) {
  const char *path = BELNOR_PRINTS_DIR "/101_1.bmp";
  GreyImage img;
  if (!ReadGreyBmp(path, &img)) GTEST_SKIP() << "no test prints at " << path;
  EXPECT_EQ(img.width, 388);
  EXPECT_EQ(img.height, 374);
  SceneSpec spec;
  ASSERT_TRUE(ParseSceneSpec(std::string("image:") + path, &spec));
  const SceneRenderer r(spec, 640, 640);
  const std::vector<uint8_t> v = View(r, 0);
  const int ox = (640 - 388) / 2, oy = (640 - 374) / 2;
  for (int y = 0; y < 374; y += 37)
    for (int x = 0; x < 388; x += 29) ASSERT_EQ(v[size_t(y + oy) * 640 + x + ox], img.pixels[size_t(y) * 388 + x]);
  EXPECT_FALSE(ReadGreyBmp("/nonexistent.bmp", &img));
  EXPECT_FALSE(ReadGreyBmp(__FILE__, &img));
}

TEST(Scenes, TypeTwoViewIsReflectedAboutTheAntiDiagonal) {
  // The library reflects its 360 x 258 corrected image into the upright
  // 258 x 360 window; the scene's upright view is reflected the other way.
  std::vector<uint8_t> view(258 * 360, 0), corrected(360 * 258);
  view[0] = 200;                  // top-left of the view
  view[258 * 360 - 1] = 100;      // bottom-right
  ViewToCorrected(2, view.data(), corrected.data());
  EXPECT_EQ(corrected[360 * 258 - 1], 200);  // K's bottom-right
  EXPECT_EQ(corrected[0], 100);
}

// What the library does with a camera frame before the pipeline's later
// steps: invert (types 2 and 5), flip (type 5), remap.
std::vector<uint8_t> LibraryCorrected(const ScannerOptics &o, const std::vector<uint8_t> &frame) {
  std::vector<uint8_t> k(size_t(o.correctedWidth()) * o.correctedHeight());
  o.Correct(frame.data(), k.data());
  return k;
}

double Psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, int w, int h, int border) {
  double se = 0;
  size_t n = 0;
  for (int y = border; y < h - border; ++y)
    for (int x = border; x < w - border; ++x) {
      const double d = double(a[size_t(y) * w + x]) - b[size_t(y) * w + x];
      se += d * d;
      ++n;
    }
  return se == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * double(n) / se);
}

TEST(ScannerOptics, RoundTripThroughEachTypesBuiltInOptics) {
  for (int type : {1, 2, 4, 5}) {
    SCOPED_TRACE(type);
    const ScannerOptics optics(type, {});  // blank flash: built-in grid
    ASSERT_EQ(optics.source(), CalibSource::kBuiltin);
    int vw, vh;
    SceneViewSize(type, &vw, &vh);
    SceneSpec spec;
    ParseSceneSpec(type == 5 ? "slap-right@2" : "flat@2", &spec);
    const SceneRenderer scene(spec, vw, vh);
    const std::vector<uint8_t> view = View(scene, 3000);
    std::vector<uint8_t> k(view.size());
    ViewToCorrected(type, view.data(), k.data());
    std::vector<uint8_t> frame(size_t(optics.sensorWidth()) * optics.sensorHeight());
    optics.Render(k.data(), frame.data());
    const double psnr = Psnr(LibraryCorrected(optics, frame), k, optics.correctedWidth(),
                             optics.correctedHeight(), 2);
    RecordProperty("psnr_type" + std::to_string(type), std::to_string(psnr));
    std::printf("type %d: round trip PSNR %.2f dB\n", type, psnr);
    EXPECT_GE(psnr, 30.0);
  }
}

TEST(ScannerOptics, TranslationGridGivesTheSceneExactly) {
  const std::vector<uint8_t> record =
      EncodeCalibRecord(TranslationGrid(640, 640, 392, 172), 1424, 984);
  const ScannerOptics optics(1, record);
  ASSERT_EQ(optics.source(), CalibSource::kStored);
  SceneSpec spec;
  ParseSceneSpec("flat@5", &spec);
  const std::vector<uint8_t> k = View(SceneRenderer(spec, 640, 640), 2500);
  std::vector<uint8_t> frame(1424 * 984);
  optics.Render(k.data(), frame.data());
  EXPECT_EQ(LibraryCorrected(optics, frame), k);
  // The corrected image is the sensor crop at (392, 172).
  for (int y = 0; y < 640; y += 7) ASSERT_EQ(0, std::memcmp(&frame[size_t(y + 172) * 1424 + 392], &k[size_t(y) * 640], 640));
}

TEST(ScannerOptics, RecordsTheFactoryWrites) {
  // The built-in table stored as a record loads to the same maps; an invalid
  // record gives the built-in grid.
  const ScannerOptics stored(5, BuiltinCalibRecord(5)), builtin(5, {});
  ASSERT_EQ(stored.source(), CalibSource::kStored);
  const size_t n = size_t(stored.correctedWidth()) * stored.correctedHeight();
  ASSERT_EQ(n, 1600u * 1500u);
  EXPECT_EQ(0, std::memcmp(stored.calibration().maps.x.get(), builtin.calibration().maps.x.get(), n * 4));
  EXPECT_EQ(0, std::memcmp(stored.calibration().maps.y.get(), builtin.calibration().maps.y.get(), n * 4));
  std::vector<uint8_t> bad = BuiltinCalibRecord(1);
  bad[20] ^= 0x40;  // CRC no longer matches
  EXPECT_EQ(ScannerOptics(1, bad).source(), CalibSource::kBuiltin);
}

TEST(ScannerOptics, PolarityAndOrientationPerType) {
  // A dark corrected image with its top rows bright: type 1 shows it as it
  // is, type 2 inverted, type 5 inverted and upside down.
  for (int type : {1, 2, 3, 5}) {
    SCOPED_TRACE(type);
    const ScannerOptics optics(type, {});
    const int w = optics.correctedWidth(), h = optics.correctedHeight();
    std::vector<uint8_t> k(size_t(w) * h, 20);
    std::fill(k.begin(), k.begin() + ptrdiff_t(w) * (h / 4), 220);
    std::vector<uint8_t> frame(size_t(optics.sensorWidth()) * optics.sensorHeight());
    optics.Render(k.data(), frame.data());
    if (type != 3) {
      const std::vector<uint8_t> back = LibraryCorrected(optics, frame);
      EXPECT_EQ(back[size_t(h / 8) * w + w / 2], 220);
      EXPECT_EQ(back[size_t(h * 3 / 4) * w + w / 2], 20);
    }
    // Where a point of the corrected image's top lies in the raw frame.
    const int sw = optics.sensorWidth(), sh = optics.sensorHeight();
    if (type == 3) {
      EXPECT_EQ(frame[size_t(40 + 10) * sw + 320 + 10], 220);  // centre crop at (320, 40)
      continue;
    }
    const size_t at = size_t(h / 8) * w + w / 2;
    const int x = optics.calibration().maps.x[at] >> 8, y = optics.calibration().maps.y[at] >> 8;
    const uint8_t raw = frame[size_t(type == 5 ? sh - 1 - y : y) * sw + x];
    EXPECT_EQ(raw, (type == 2 || type == 5) ? 255 - 220 : 220);
  }
}

TEST(ScannerOptics, AChangeInARectangleShowsOnlyWithinItsReach) {
  // What lets a scene draw a finger as a patch over the bare platen's frame.
  for (int type : {1, 2, 5}) {
    SCOPED_TRACE(type);
    const ScannerOptics optics(type, {});
    const int w = optics.correctedWidth(), h = optics.correctedHeight();
    std::vector<uint8_t> a(size_t(w) * h);
    for (size_t i = 0; i < a.size(); ++i) a[i] = uint8_t(150 + (i * 7919) % 61);
    std::vector<uint8_t> b = a;
    const int x0 = w / 3, y0 = h / 4, x1 = x0 + 60, y1 = y0 + 90;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) b[size_t(y) * w + x] = uint8_t(20 + (x * y) % 40);
    const int sw = optics.sensorWidth(), sh = optics.sensorHeight();
    std::vector<uint8_t> fa(size_t(sw) * sh), fb(fa.size());
    optics.Render(a.data(), fa.data());
    optics.Render(b.data(), fb.data());
    const ScannerOptics::FrameRect r = optics.Reach(x0, y0, x1, y1);
    ASSERT_FALSE(r.empty());
    size_t changed = 0;
    for (int y = 0; y < sh; ++y)
      for (int x = 0; x < sw; ++x) {
        if (fa[size_t(y) * sw + x] == fb[size_t(y) * sw + x]) continue;
        ++changed;
        ASSERT_TRUE(x >= r.x0 && x < r.x1 && y >= r.y0 && y < r.y1) << x << "," << y;
      }
    EXPECT_GT(changed, 1000u);
    // The rectangle drawn alone is the whole frame's part.
    std::vector<uint8_t> part(r.size());
    optics.Render(b.data(), r, part.data());
    for (int y = r.y0; y < r.y1; ++y)
      ASSERT_EQ(0, std::memcmp(&part[size_t(y - r.y0) * (r.x1 - r.x0)], &fb[size_t(y) * sw + r.x0],
                               size_t(r.x1 - r.x0)));
    // An empty rectangle reaches nothing.
    EXPECT_TRUE(optics.Reach(x0, y0, x0, y1).empty());
  }
}

}  // namespace
