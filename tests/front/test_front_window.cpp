// Capture-window rules and the per-type attribute mappings.
#include <gtest/gtest.h>

#include "capture_window.h"
#include "image_attr_mapping.h"

using namespace belnor;

namespace {

// Against the built-in corrected image of the type.
WindowChange Resolve(int type, int x, int y, int width, int height, CaptureWindow *w) {
  return ResolveCaptureWindow(type, x, y, width, height, CorrectedImageSize(type), w);
}

struct WindowCase {
  int type, x, y, w, h;
  bool accepted;
  int wantX, wantY, wantW, wantH;
};

TEST(CaptureWindow, RulesPerDeviceType) {
  const WindowCase cases[] = {
      // Type 1: default origins by size, explicit origins kept.
      {1, 0, 0, 256, 360, true, 192, 216, 256, 360},
      {1, 0, 0, 400, 400, true, 120, 120, 400, 400},
      {1, 0, 0, 640, 640, true, 0, 0, 640, 640},
      {1, 0, 0, 1424, 984, true, 0, 0, 1424, 984},  // the whole sensor frame
      {1, 0, 0, 300, 300, true, 0, 0, 300, 300},
      {1, 10, 0, 256, 360, true, 10, 0, 256, 360},
      {1, 384, 280, 256, 360, true, 384, 280, 256, 360},
      // Type 1 refusals: beyond the 640 x 640 corrected image at the origin,
      // or at the sensor size in one dimension only.
      {1, 385, 280, 256, 360, false, 0, 0, 0, 0},
      {1, 0, 0, 1000, 900, false, 0, 0, 0, 0},
      {1, 0, 0, 1424, 600, false, 0, 0, 0, 0},
      {1, 0, 0, 600, 984, false, 0, 0, 0, 0},
      {1, 0, 0, 1600, 1500, false, 0, 0, 0, 0},
      {1, 0, 0, 2000, 1000, false, 0, 0, 0, 0},
      {1, 1, 1, 640, 640, false, 0, 0, 0, 0},
      // Type 2: one window whatever was asked, or the sensor frame.
      {2, 0, 0, 400, 400, true, 0, 0, 256, 360},
      {2, 50, 60, 256, 360, true, 0, 0, 256, 360},
      {2, 0, 0, 1280, 720, true, 0, 0, 1280, 720},
      {2, 0, 0, 1600, 1500, true, 0, 0, 256, 360},
      // Type 5: centred above row 1436 by default.
      {5, 0, 0, 256, 360, true, 672, 1076, 256, 360},
      {5, 0, 0, 400, 400, true, 600, 1036, 400, 400},
      {5, 0, 0, 640, 640, true, 480, 796, 640, 640},
      {5, 0, 0, 1600, 1500, true, 0, 0, 1600, 1500},
      {5, 0, 0, 2592, 1944, true, 0, 0, 2592, 1944},
      {5, 100, 0, 1500, 1500, true, 100, 0, 1500, 1500},
      {5, 0, 0, 1700, 1000, false, 0, 0, 0, 0},
      {5, 1, 0, 1600, 1500, false, 0, 0, 0, 0},
      {5, 0, 0, 2592, 1000, false, 0, 0, 0, 0},
      // Argument ranges, for every type.
      {1, 0, 0, 239, 360, false, 0, 0, 0, 0},
      {1, 0, 0, 256, 279, false, 0, 0, 0, 0},
      {5, 3900, 0, 240, 400, false, 0, 0, 0, 0},
      {5, 0, 2800, 400, 280, false, 0, 0, 0, 0},
      {2, -1, 0, 256, 360, false, 0, 0, 0, 0},
      {2, 0, -1, 256, 360, false, 0, 0, 0, 0},
      {2, 0, 0, 4097, 360, false, 0, 0, 0, 0},
      {2, 0, 0, 256, 3073, false, 0, 0, 0, 0},
  };
  for (const WindowCase &c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " " << c.x << "," << c.y << " "
                                    << c.w << "x" << c.h);
    CaptureWindow w{-7, -7, -7, -7, -7, -7};
    const WindowChange r = Resolve(c.type, c.x, c.y, c.w, c.h, &w);
    if (!c.accepted) {
      EXPECT_EQ(r, WindowChange::kRefused);
      EXPECT_EQ(w.x, -7);  // nothing written
      continue;
    }
    ASSERT_EQ(r, WindowChange::kApplied);
    EXPECT_EQ(w.x, c.wantX);
    EXPECT_EQ(w.y, c.wantY);
    EXPECT_EQ(w.width, c.wantW);
    EXPECT_EQ(w.height, c.wantH);
  }
}

TEST(CaptureWindow, SensorSizesAndUnchangedTypes) {
  CaptureWindow w{};
  ASSERT_EQ(Resolve(1, 0, 0, 640, 640, &w), WindowChange::kApplied);
  EXPECT_EQ(w.sensorWidth, 1424);
  EXPECT_EQ(w.sensorHeight, 984);
  ASSERT_EQ(Resolve(2, 0, 0, 640, 640, &w), WindowChange::kApplied);
  EXPECT_EQ(w.sensorWidth, 1280);
  EXPECT_EQ(w.sensorHeight, 720);
  ASSERT_EQ(Resolve(5, 0, 0, 640, 640, &w), WindowChange::kApplied);
  EXPECT_EQ(w.sensorWidth, 2592);
  EXPECT_EQ(w.sensorHeight, 1944);
  CaptureWindow untouched{1, 2, 3, 4, 5, 6};
  EXPECT_EQ(Resolve(3, 0, 0, 640, 640, &untouched), WindowChange::kUnchanged);
  EXPECT_EQ(Resolve(4, 0, 0, 640, 640, &untouched), WindowChange::kUnchanged);
  EXPECT_EQ(Resolve(4, 0, 0, 100, 640, &untouched), WindowChange::kRefused);
  EXPECT_EQ(untouched.x, 1);
}

TEST(CaptureWindow, EveryAcceptedWindowIsDeliverable) {
  // Sweep sizes and origins: an accepted window either is the sensor frame or
  // lies inside the corrected image, never beyond it in one dimension only.
  for (int type : {1, 2, 5}) {
    const ImageSize k = CorrectedImageSize(type);
    for (int wd = 240; wd <= 2700; wd += 97) {
      for (int ht = 280; ht <= 2000; ht += 89) {
        for (int x : {0, 1, 200, 1000}) {
          CaptureWindow w{};
          if (ResolveCaptureWindow(type, x, 0, wd, ht, k, &w) != WindowChange::kApplied) continue;
          const bool sensor = w.width == w.sensorWidth && w.height == w.sensorHeight;
          if (type == 2 && !sensor) {
            // Type 2 centres the window in the transposed corrected image.
            EXPECT_LE(w.width, k.height);
            EXPECT_LE(w.height, k.width);
            continue;
          }
          ASSERT_TRUE(sensor || (w.x + w.width <= k.width && w.y + w.height <= k.height))
              << type << " " << x << " " << wd << "x" << ht;
          ASSERT_TRUE(sensor || (w.width < w.sensorWidth && w.height < w.sensorHeight));
        }
      }
    }
  }
}

TEST(AttributeMapping, BrightnessAndContrastPerType) {
  EXPECT_EQ(BrightnessToDevice(2, 100), 155);
  EXPECT_EQ(BrightnessFromDevice(2, 155), 155);  // reported as sent, not inverted
  EXPECT_EQ(BrightnessToDevice(5, 255), 127);
  EXPECT_EQ(BrightnessToDevice(5, 3), 1);
  EXPECT_EQ(BrightnessFromDevice(5, 1), 128);
  EXPECT_EQ(BrightnessFromDevice(5, -200), -73);  // signed device units
  for (int t : {1, 3, 4}) {
    EXPECT_EQ(BrightnessToDevice(t, 77), 77);
    EXPECT_EQ(BrightnessFromDevice(t, 77), 77);
    EXPECT_EQ(ContrastToDevice(t, 201), 201);
    EXPECT_EQ(ContrastFromDevice(t, 201), 201);
  }
  EXPECT_EQ(ContrastToDevice(2, 200), 200);
  EXPECT_EQ(ContrastToDevice(5, 200), 100);
  EXPECT_EQ(ContrastToDevice(5, 201), 100);
  EXPECT_EQ(ContrastFromDevice(5, 100), 200);
  EXPECT_EQ(ContrastFromDevice(5, 65535), 131070);
}

TEST(AttributeMapping, ExposureBothWays) {
  EXPECT_EQ(ExposureToAbsolute(-10), 10);
  EXPECT_EQ(ExposureToAbsolute(-8), 39);
  EXPECT_EQ(ExposureToAbsolute(-6), 156);
  EXPECT_EQ(ExposureToAbsolute(-5), 312);
  EXPECT_EQ(ExposureToAbsolute(-2), 2500);
  int e = 99;
  ASSERT_TRUE(ExposureFromAbsolute(10, &e));
  EXPECT_EQ(e, -9);  // log2(0.001) = -9.97, toward zero
  ASSERT_TRUE(ExposureFromAbsolute(312, &e));
  EXPECT_EQ(e, -5);
  ASSERT_TRUE(ExposureFromAbsolute(39, &e));
  EXPECT_EQ(e, -8);  // 39 is a hair below 2^-8 * 10000
  ASSERT_TRUE(ExposureFromAbsolute(10000, &e));
  EXPECT_EQ(e, 0);
  ASSERT_TRUE(ExposureFromAbsolute(40000, &e));
  EXPECT_EQ(e, 2);
  e = 99;
  EXPECT_FALSE(ExposureFromAbsolute(0, &e));
  EXPECT_EQ(e, 99);
  ASSERT_TRUE(ExposureFromAbsolute(1, &e));
  EXPECT_EQ(e, -13);
}

}  // namespace
