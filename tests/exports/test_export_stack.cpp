// The extraction, quality, matching and merge exports on a 64 KB stack that
// the host supplies without a guard page (as green-thread and VM hosts do):
// the same results as on the main thread, nothing written below the stack,
// and, where frames are not widened by sanitizers or -O0, at most 16 KB used.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "device_state.h"
#include "fplib.h"
#include "fplib_test_util.h"
#include "livescan.h"
#include "mosaic.h"
#include "rolling_frames.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kStack = 64 * 1024, kBelow = 64 * 1024;
constexpr uint8_t kPaint = 0xA5;

struct Call {
  const std::function<void()> *fn;
  uintptr_t entry;
};

void *Enter(void *arg) {
  auto *call = static_cast<Call *>(arg);
  volatile char here = 0;
  call->entry = reinterpret_cast<uintptr_t>(&here);
  (*call->fn)();
  return nullptr;
}

// The painted memory is read past AddressSanitizer's view of a finished thread.
__attribute__((no_sanitize("address"))) size_t Untouched(const uint8_t *p, size_t n) {
  size_t i = 0;
  while (i < n && p[i] == kPaint) ++i;
  return i;
}

// Runs fn on the small stack (painted, with painted memory below it); the
// bytes used below the thread function's frame, or 0 when the thread
// wrote below the stack.
size_t OnSmallStack(const std::function<void()> &fn, bool &intact) {
  intact = false;
  void *mem = mmap(nullptr, kBelow + kStack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mem == MAP_FAILED) return 0;
  auto *base = static_cast<uint8_t *>(mem);
  std::memset(base, kPaint, kBelow + kStack);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstack(&attr, base + kBelow, kStack);
  Call call{&fn, 0};
  pthread_t thread;
  size_t used = 0;
  if (pthread_create(&thread, &attr, Enter, &call) == 0) {
    pthread_join(thread, nullptr);
    const size_t low = Untouched(base, kBelow + kStack);
    intact = low >= kBelow;
    used = call.entry - reinterpret_cast<uintptr_t>(base + low);
  }
  pthread_attr_destroy(&attr);
  munmap(mem, kBelow + kStack);
  return used;
}

void Check(const char *name, const std::function<Bytes()> &fn) {
  const Bytes want = fn();
  Bytes got;
  bool intact;
  const size_t used = OnSmallStack([&] { got = fn(); }, intact);
  std::printf("%-28s %6zu bytes of stack\n", name, used);
  EXPECT_TRUE(intact) << name << " wrote below the stack";
  EXPECT_EQ(got, want) << name;
#ifdef EXPORT_STACK_LIMIT
  EXPECT_LE(used, size_t(EXPORT_STACK_LIMIT)) << name;
#endif
}

// A return value and what the call wrote, as bytes.
Bytes Out(int r, const void *p = nullptr, size_t n = 0) {
  Bytes b(sizeof r + n);
  std::memcpy(b.data(), &r, sizeof r);
  if (n) std::memcpy(b.data() + sizeof r, p, n);
  return b;
}

// Two impressions of one finger (the matchers then go through every stage).
Bytes Print(int impression) {
  const Bytes s = fptest::LoadSample(101, impression);
  return s.empty() ? fptest::SyntheticPrint(unsigned(impression)) : s;
}

class ExportStack : public fptest::FpLibTest {};

TEST_F(ExportStack, Minutia) {
  Bytes img[2] = {Print(1), Print(2)}, tpl[2];
  for (int k = 0; k < 2; ++k) {
    tpl[k].assign(FP_TEMPLATE_SIZE, 0);
    ASSERT_EQ(FP_FeatureExtract(0, 1, img[k].data(), tpl[k].data()), FP_OK);
  }
  Check("FP_FeatureExtract", [&] {
    Bytes t(FP_TEMPLATE_SIZE);
    return Out(FP_FeatureExtract(0, 1, img[0].data(), t.data()), t.data(), t.size());
  });
  Check("FP_FeatureMatch", [&] {
    float score = -1;
    return Out(FP_FeatureMatch(tpl[0].data(), tpl[1].data(), &score), &score, sizeof score);
  });
  Check("FP_ImageMatch", [&] {
    float score = -1;
    return Out(FP_ImageMatch(img[1].data(), tpl[0].data(), &score), &score, sizeof score);
  });
  Check("FP_GetQualityScore", [&] {
    unsigned char q = 0;
    return Out(FP_GetQualityScore(img[0].data(), &q), &q, 1);
  });
  Check("FP_GetQualityScore2", [&] {
    unsigned char q = 0;
    return Out(FP_GetQualityScore2(img[0].data(), &q), &q, 1);
  });
  Bytes box(FP_COMPRESSED_SIZE);
  char message[256];
  ASSERT_EQ(FP_Compress(1, 1, 1, img[0].data(), 10, box.data(), message), FP_OK);
  Check("FP_Compress", [&] {
    Bytes b(FP_COMPRESSED_SIZE);
    return Out(FP_Compress(1, 1, 1, img[0].data(), 10, b.data(), message), b.data(), b.size());
  });
  Check("FP_Decompress", [&] {
    Bytes i(FP_IMAGE_SIZE);
    return Out(FP_Decompress(box.data(), i.data(), message), i.data(), i.size());
  });
}

TEST_F(ExportStack, Belnor) {
  Bytes bmp[2] = {fptest::WrapBmp(Print(1), FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT),
                  fptest::WrapBmp(Print(2), FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT)};
  Bytes tpl[2];
  belnor::g_bInitialized = 1;
  for (int k = 0; k < 2; ++k) {
    tpl[k].assign(606, 0);
    EXPECT_GT(LIVESCAN_FeatureExtractMem(bmp[k].data(), int(bmp[k].size()), tpl[k].data()), 0);
  }
  Check("LIVESCAN_FeatureExtractMem", [&] {
    Bytes t(606);
    return Out(LIVESCAN_FeatureExtractMem(bmp[1].data(), int(bmp[1].size()), t.data()), t.data(), t.size());
  });
  Check("LIVESCAN_FeatureMatchMem", [&] {
    float score = -1;
    return Out(LIVESCAN_FeatureMatchMem(tpl[0].data(), tpl[1].data(), &score), &score, sizeof score);
  });
  belnor::g_bInitialized = 0;
}

TEST_F(ExportStack, Mosaic) {
  using namespace mosaic_test;
  constexpr int kSize = 640;
  const Image print = MakePrint(kSize, kSize);
  std::vector<Image> frames;
  for (const Band &band : RollBands(40)) frames.push_back(ContactFrame(print, kSize, kSize, band));
  Image mosaic(kSize * kSize);
  Check("MOSAIC_DoMosaic (a roll)", [&] {
    Bytes b = Out(MOSAIC_Init());
    std::fill(mosaic.begin(), mosaic.end(), 0);
    b.push_back(uint8_t(MOSAIC_Start(mosaic.data(), kSize, kSize)));
    for (Image &f : frames) b.push_back(uint8_t(MOSAIC_DoMosaic(f.data(), kSize, kSize)));
    b.push_back(uint8_t(MOSAIC_Stop()));
    b.insert(b.end(), mosaic.begin(), mosaic.end());
    return b;
  });
  ASSERT_EQ(MOSAIC_Init(), 1);
  Check("MOSAIC_ImageQuality", [&] { return Out(MOSAIC_ImageQuality(mosaic.data(), kSize, kSize)); });
  Check("MOSAIC_FingerQuality", [&] { return Out(MOSAIC_FingerQuality(mosaic.data(), kSize, kSize)); });
  Check("MOSAIC_IsFinger", [&] { return Out(MOSAIC_IsFinger(frames[3].data(), kSize, kSize)); });
  Check("MOSAIC_ImageEnhance", [&] {
    Image out(mosaic.size());
    return Out(MOSAIC_ImageEnhance(mosaic.data(), kSize, kSize, out.data()), out.data(), out.size());
  });
  MOSAIC_Close();
}

}  // namespace
