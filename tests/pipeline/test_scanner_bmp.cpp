// The caller-side fetches through the scanner: the window or the finger cut
// out of it as a BMP, and type 5's half-size preview.
#include "scanner_stills.h"

using namespace pipeline_test;

namespace {

constexpr int kHeader = 1078;

int Field32(const std::vector<uint8_t> &b, int at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24;
}

// The pixels of an 8-bit BMP, top row first; padding bytes must be zero.
Picture BmpPixels(const std::vector<uint8_t> &bmp) {
  Picture p;
  p.width = Field32(bmp, 18);
  p.height = Field32(bmp, 22);
  const int stride = (p.width + 3) / 4 * 4;
  p.pixels.resize(size_t(p.width) * p.height);
  for (int r = 0; r < p.height; ++r) {
    const uint8_t *row = &bmp[kHeader + size_t(p.height - 1 - r) * stride];
    std::memcpy(&p.at(0, r), row, size_t(p.width));
    for (int k = p.width; k < stride; ++k) EXPECT_EQ(row[k], 0) << "padding of row " << r;
  }
  return p;
}

class FingerBmp : public ScannerRun {
 protected:
  void OpenType(const Model &m, const Picture &view) { Open(m, TranslationRecord(m.type), view); }
  int GetBmp(std::vector<uint8_t> *bmp) {
    bmp->assign(kHeader + 2000 * 1600, 0xCD);
    return LIVESCAN_GetFPBmpData(0, bmp->data());
  }
};

TEST_F(FingerBmp, SmallWindowsComeWholeInEitherRowLength) {
  OpenType(kType1, HeldFinger(1));
  if (HasFatalFailure()) return;
  for (int width : {256, 257}) {
    SCOPED_TRACE(width);
    ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 100, 120, width, 360), LS_OK);
    const Picture raw = FetchSettled();
    std::vector<uint8_t> bmp;
    ASSERT_EQ(GetBmp(&bmp), LS_OK);
    const Picture got = BmpPixels(bmp);
    ASSERT_EQ(got.width, width);
    ASSERT_EQ(got.height, 360);
    EXPECT_EQ(got.pixels, raw.pixels);
    if (width % 4 == 0) {
      std::vector<uint8_t> back(raw.pixels.size());
      int w = 0, h = 0;
      ASSERT_EQ(LIVESCAN_BmpToRaw(bmp.data(), int(bmp.size()), back.data(), int(back.size()), &w,
                                  &h),
                LS_OK);
      EXPECT_EQ(back, raw.pixels);
    }
  }
}

class FullWindowCut : public FingerBmp, public testing::WithParamInterface<Model> {};

TEST_P(FullWindowCut, IsTheFingerOfTheFrame) {
  const int type = GetParam().type;
  // Off the centre, so that a cut that ignores the finger shows.
  OpenType(GetParam(), Shifted(HeldFinger(type), 90, 60));
  if (HasFatalFailure()) return;
  int width, height;
  ASSERT_EQ(LIVESCAN_GetMaxImageSize(0, &width, &height), LS_OK);
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, width, height), LS_OK);
  const Picture raw = FetchSettled();
  std::vector<uint8_t> bmp;
  ASSERT_EQ(GetBmp(&bmp), 3);
  const Picture cut = BmpPixels(bmp);
  ASSERT_EQ(cut.width, 400);
  ASSERT_EQ(cut.height, 400);
  int x = -1, y = -1;
  EXPECT_TRUE(Locate(cut, raw, &x, &y));
  EXPECT_GT(x, (width - 400) / 2) << "the cut follows the finger to the right";
}

INSTANTIATE_TEST_SUITE_P(Types, FullWindowCut, testing::Values(kType1, kType5),
                         [](const testing::TestParamInfo<Model> &i) { return ModelName(i.param); });

TEST_F(FingerBmp, LargeWindowWithoutFingerOrTooLowForTheCut) {
  OpenType(kType1, SceneView(1, "empty", 0));
  if (HasFatalFailure()) return;
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 640, 640), LS_OK);
  FetchSettled();
  std::vector<uint8_t> bmp;
  EXPECT_EQ(GetBmp(&bmp), 2);
  EXPECT_EQ(BmpPixels(bmp).width, 400);

  // A window of 400 in one dimension is cut, and the cut does not fit the
  // other; one narrower than 256 gives no BMP either.
  for (const auto &w : {std::make_pair(640, 360), std::make_pair(400, 360),
                        std::make_pair(256, 400), std::make_pair(240, 360)}) {
    SCOPED_TRACE(testing::Message() << w.first << " x " << w.second);
    ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, w.first, w.second), LS_OK);
    EXPECT_EQ(GetBmp(&bmp), LS_ERR_PARAM);
  }
}

TEST_F(FingerBmp, PreviewIsTheRoundedHalfOfTheFrame) {
  OpenType(kType5, HeldFinger(5));
  if (HasFatalFailure()) return;
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 1600, 1500), LS_OK);
  const Picture raw = FetchSettled();
  std::vector<uint8_t> preview(800 * 750);
  ASSERT_EQ(LIVESCAN_GetPreviewData(0, preview.data()), LS_OK);
  size_t wrong = 0;
  for (int y = 0; y < 750; ++y)
    for (int x = 0; x < 800; ++x) {
      const int sum = raw.at(2 * x, 2 * y) + raw.at(2 * x + 1, 2 * y) + raw.at(2 * x, 2 * y + 1) +
                      raw.at(2 * x + 1, 2 * y + 1);
      wrong += preview[size_t(y) * 800 + x] != (sum + 2) / 4;
    }
  EXPECT_EQ(wrong, 0u);

  // Each half must match: one that matches alone is no preview.
  for (const auto &w : {std::make_pair(640, 640), std::make_pair(1600, 640),
                        std::make_pair(640, 1500)}) {
    SCOPED_TRACE(testing::Message() << w.first << " x " << w.second);
    ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, w.first, w.second), LS_OK);
    EXPECT_EQ(LIVESCAN_GetPreviewData(0, preview.data()), LS_ERR_UNKNOWN);
  }
}

TEST_F(FingerBmp, PreviewIsType5Only) {
  OpenType(kType1, HeldFinger(1));
  if (HasFatalFailure()) return;
  std::vector<uint8_t> preview(800 * 750);
  EXPECT_EQ(LIVESCAN_GetPreviewData(0, preview.data()), LS_ERR_NOT_IMPLEMENTED);
}

}  // namespace
