// The FP_* interface: argument and state checks, output clearing and the
// interface's step-log lines; the work is done by the modules behind it.
#include <cstring>
#include <new>
#include <vector>

#include "alg_codes.h"
#include "cminutiae_record.h"
#include "ctemplate.h"
#include "direction_quality.h"
#include "extract_front.h"
#include "fp_state.h"
#include "fplib.h"
#include "match_fusion.h"
#include "step_log.h"

using namespace fplib;

namespace {

uint32_t Le32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// A BMP file where a raw image is expected.
bool LooksLikeBmp(const uint8_t *image) {
  const int bits = image[28] | image[29] << 8;
  return image[0] == 'B' && image[1] == 'M' && Le32(image + 14) == 40 && bits % 8 == 0;
}

// An 8-bit BMP of exactly 256 x 360 with the grey palette before the pixels.
bool IsQualityBmp(const uint8_t *image) {
  return image[0] == 'B' && image[1] == 'M' && Le32(image + 10) == 1078 && Le32(image + 18) == FP_IMAGE_WIDTH &&
         Le32(image + 22) == FP_IMAGE_HEIGHT;
}

}  // namespace

extern "C" int FP_GetVersion(char *version) {
  if (!version) return FP_ERR_PARAM;
  std::memcpy(version, "1563", 4);
  return FP_OK;
}

extern "C" int FP_Begin(void) {
  if (IsInitialised()) return FP_OK;
  FP_LOG("FP_Begin", "FP_Begin 1\n");
  CreateLibraryLock();
  AcquireLibraryLock();
  SetInitialised(true);
  ReleaseLibraryLock();
  FP_LOG("FP_Begin", "FP_Begin %d<-\n", FP_OK);
  return FP_OK;
}

extern "C" int FP_End(void) {
  if (IsInitialised()) {
    AcquireLibraryLock();
    SetInitialised(false);
    ReleaseLibraryLock();
    DestroyLibraryLock();
  }
  FP_LOG("FP_End", "FP_End\n");
  closeLogFile();
  return FP_OK;
}

extern "C" int FP_FeatureExtract(int scannerCode, int fingerCode, unsigned char *image, unsigned char *tmpl) {
  constexpr const char *kFn = "FP_FeatureExtract";
  FP_LOG(kFn, "FP_FeatureExtract->\n");
  if (!image || !tmpl) {
    FP_LOG(kFn, "FP_FeatureExtract %d<-\n", FP_ERR_PARAM);
    return FP_ERR_PARAM;
  }
  std::memset(tmpl, 0, kTemplateSize);
  if (!IsInitialised()) {
    FP_LOG(kFn, "FP_FeatureExtract %d<-\n", FP_ERR_FAIL);
    return FP_ERR_FAIL;
  }
  if (LooksLikeBmp(image)) return FP_ERR_PARAM;
  const int r = extractTemplate(scannerCode & 0xFF, fingerCode & 0xFF, image, tmpl);
  FP_LOG(kFn, "FP_FeatureExtract %d<-\n", r);
  return r;
}

extern "C" int FP_FeatureMatch(unsigned char *tmpl1, unsigned char *tmpl2, float *score) {
  constexpr const char *kFn = "FP_FeatureMatch";
  FP_LOG(kFn, "FP_FeatureMatch->\n");
  if (!tmpl1 || !tmpl2 || !score) {
    FP_LOG(kFn, "FP_FeatureMatch %d<-\n", FP_ERR_PARAM);
    return FP_ERR_PARAM;
  }
  *score = 0.0f;
  if (!IsInitialised()) {
    FP_LOG(kFn, "FP_FeatureMatch 1 %d<-\n", FP_ERR_FAIL);
    return FP_ERR_FAIL;
  }
  if (tmpl1[0] != kTemplateMagic || tmpl2[0] != kTemplateMagic) {
    FP_LOG(kFn, "FP_FeatureMatch2 %d<-\n", FP_ERR_TEMPLATE);
    return FP_ERR_TEMPLATE;
  }
  const int r = featureMatch(tmpl1, tmpl2, score);
  FP_LOG(kFn, "FP_FeatureMatch %d<-\n", r);
  return r;
}

extern "C" int FP_ImageMatch(unsigned char *image, unsigned char *tmpl, float *score) {
  if (score) *score = 0.0f;
  if (!image || !tmpl || !score) return FP_ERR_PARAM;
  if (!IsInitialised()) return FP_ERR_FAIL;
  uint8_t probe[kTemplateSize];
  const int r = FP_FeatureExtract(255, 99, image, probe);
  // The probe then holds the no-feature template: no answer for this image.
  if (r == FP_ERR_MEMORY) return FP_ERR_MEMORY;
  if (r < 0) return FP_ERR_FAIL;
  return FP_FeatureMatch(tmpl, probe, score);
}

extern "C" int FP_GetQualityScore(unsigned char *image, unsigned char *quality) {
  constexpr const char *kFn = "FP_GetQualityScore";
  FP_LOG(kFn, "FP_GetQualityScore->\n");
  if (!image || !quality) {
    FP_LOG(kFn, "FP_GetQualityScore %d<-\n", FP_ERR_PARAM);
    return FP_ERR_PARAM;
  }
  *quality = 0;
  if (!IsInitialised()) {
    FP_LOG(kFn, "FP_GetQualityScore1 %d<-\n", FP_ERR_FAIL);
    return FP_ERR_FAIL;
  }
  std::vector<uint8_t> flipped;
  ImageDesc desc{FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT, image};
  uint8_t record[kRecordSize] = {};
  RefPoints refs;
  int r = 0;
  try {
    if (IsQualityBmp(image)) {
      flipped.resize(FP_IMAGE_SIZE);
      for (int row = 0; row < FP_IMAGE_HEIGHT; ++row)
        std::memcpy(&flipped[size_t(row) * FP_IMAGE_WIDTH],
                    image + 1078 + size_t(FP_IMAGE_HEIGHT - 1 - row) * FP_IMAGE_WIDTH, FP_IMAGE_WIDTH);
      desc.pixels = flipped.data();
    }
    r = featureExtract(&desc, record, refs);
  } catch (const std::bad_alloc &) {
    r = minutiae::ALG_NO_MEMORY;
  }
  if (r == minutiae::ALG_NO_MEMORY) {
    FP_LOG(kFn, "FP_GetQualityScore %d, qlty %d<-\n", FP_ERR_MEMORY, *quality);
    return FP_ERR_MEMORY;
  }
  if (r == 0) {
    const int q = record[kRecordQuality];
    *quality = uint8_t(3 * q / 7 < 100 ? 3 * q / 7 : 100);
  }
  FP_LOG(kFn, "FP_GetQualityScore %d, qlty %d<-\n", FP_OK, *quality);
  return FP_OK;
}

extern "C" int FP_GetQualityScore2(unsigned char *image, unsigned char *quality) {
  if (!image || !quality) return FP_ERR_PARAM;
  *quality = 0;
  const int q = qualityScore2(image);
  if (q < 0) return FP_ERR_MEMORY;
  if (q <= 100) *quality = uint8_t(q);
  return FP_OK;
}

extern "C" int FP_SetOnGetQualityScore(OnGetQualityScore callback) {
  SetQualityCallback(callback);
  return FP_OK;
}

extern "C" int FP_GenFeatureFromEmpty1(int scannerCode, int fingerCode, unsigned char *tmpl) {
  if (!tmpl) return FP_ERR_PARAM;
  if (!IsInitialised()) return FP_ERR_FAIL;
  std::memset(tmpl, 0xFF, kTemplateSize);
  return writeCTemplate(RefPoints{}, nullptr, scannerCode & 0xFF, fingerCode & 0xFF, tmpl, 0);
}

extern "C" int FP_GenFeatureFromEmpty2(int fingerCode, unsigned char *tmpl) {
  if (!tmpl) return FP_ERR_PARAM;
  if (!IsInitialised()) return FP_ERR_FAIL;
  std::memset(tmpl, 0xFF, kTemplateSize);
  return writeCTemplate(RefPoints{}, nullptr, 255, fingerCode & 0xFF, tmpl, 3);
}
