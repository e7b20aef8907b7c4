#include "golden_outputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "extract_driver.h"
#include "fplib.h"
#include "ftemplate.h"
#include "matcher.h"

namespace golden {

namespace {

constexpr uint8_t kFill = 0xA5;
constexpr int kPrintW = 388, kPrintH = 374;

void Put16(std::vector<uint8_t> &out, unsigned v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void PutScore(std::vector<uint8_t> &out, int r, float score) {
  uint32_t bits;
  std::memcpy(&bits, &score, 4);
  out.push_back(uint8_t(r));
  for (int k = 0; k < 4; ++k) out.push_back(uint8_t(bits >> (8 * k)));
}

// Standard output is discarded while libminutia's step log writes to it.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      close(null);
    }
  }
  ~QuietStdout() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
  }
  QuietStdout(const QuietStdout &) = delete;
  QuietStdout &operator=(const QuietStdout &) = delete;

 private:
  int saved_;
};

// Walks the per-print records of an extraction set.
std::vector<std::vector<uint8_t>> BelnorTemplates(const std::vector<uint8_t> &set) {
  std::vector<std::vector<uint8_t>> out;
  size_t at = 0;
  while (at + 3 <= set.size()) {
    const size_t len = set[at + 1] | size_t(set[at + 2]) << 8;
    std::vector<uint8_t> t(minutiae::kFTemplateMax, kFill);
    std::copy_n(set.begin() + long(at + 3), std::min(len, set.size() - at - 3), t.begin());
    out.push_back(t);
    at += 3 + len;
  }
  return out;
}

constexpr size_t kFplibRecord = 1 + FP_TEMPLATE_SIZE + 4;

}  // namespace

std::vector<uint8_t> PrintOnCanvas(int k, int width, int height) {
  const std::string path = std::string(BELNOR_PRINTS_DIR) + "/" + std::to_string(101 + k / 8) + "_" +
                           std::to_string(1 + k % 8) + ".bmp";
  const std::vector<uint8_t> bmp = ReadFile(path);
  const int stride = (kPrintW + 3) & ~3;
  if (bmp.size() < 1078 + size_t(stride) * kPrintH) return {};
  std::vector<uint8_t> out(size_t(width) * height, 255);
  const int ox = (width - kPrintW) / 2, oy = (height - kPrintH) / 2;
  for (int y = 0; y < height; ++y) {
    const int sy = y - oy;
    if (sy < 0 || sy >= kPrintH) continue;
    const uint8_t *row = &bmp[1078 + size_t(kPrintH - 1 - sy) * stride];
    for (int x = 0; x < width; ++x) {
      const int sx = x - ox;
      if (sx >= 0 && sx < kPrintW) out[size_t(y) * width + x] = row[sx];
    }
  }
  return out;
}

std::vector<uint8_t> BelnorExtract(int width, int height) {
  std::vector<uint8_t> out;
  for (int k = 0; k < kPrints; ++k) {
    const std::vector<uint8_t> img = PrintOnCanvas(k, width, height);
    if (img.empty()) return {};
    std::vector<uint8_t> t(minutiae::kFTemplateMax, kFill);
    const int q = std::clamp(minutiae::extractFTemplate(img.data(), width, height, t.data()), 0, 100);
    size_t len = t.size();
    while (len > 0 && t[len - 1] == kFill) --len;
    out.push_back(uint8_t(q));
    Put16(out, unsigned(len));
    out.insert(out.end(), t.begin(), t.begin() + long(len));
  }
  return out;
}

std::vector<uint8_t> BelnorMatch(const std::vector<uint8_t> &extractSet) {
  const auto t = BelnorTemplates(extractSet);
  std::vector<uint8_t> out;
  for (size_t i = 0; i < t.size(); ++i)
    for (size_t j = i + 1; j < t.size(); ++j) {
      float score = -1.0f;
      const int r = minutiae::matchFTemplates(t[i].data(), t[j].data(), &score);
      PutScore(out, r, score);
    }
  return out;
}

std::vector<uint8_t> FplibExtract() {
  QuietStdout quiet;
  std::vector<uint8_t> out;
  for (int k = 0; k < kPrints; ++k) {
    std::vector<uint8_t> img = PrintOnCanvas(k, FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT);
    if (img.empty()) return {};
    std::vector<uint8_t> t(FP_TEMPLATE_SIZE, kFill);
    out.push_back(uint8_t(FP_FeatureExtract(1, 1, img.data(), t.data())));
    out.insert(out.end(), t.begin(), t.end());
    for (auto quality : {FP_GetQualityScore, FP_GetQualityScore2}) {
      uint8_t q = kFill;
      out.push_back(uint8_t(quality(img.data(), &q)));
      out.push_back(q);
    }
  }
  return out;
}

std::vector<uint8_t> FplibMatch(const std::vector<uint8_t> &extractSet) {
  QuietStdout quiet;
  std::vector<std::vector<uint8_t>> t;
  for (size_t at = 0; at + kFplibRecord <= extractSet.size(); at += kFplibRecord)
    t.emplace_back(extractSet.begin() + long(at + 1), extractSet.begin() + long(at + 1 + FP_TEMPLATE_SIZE));
  std::vector<uint8_t> out;
  for (size_t i = 0; i < t.size(); ++i)
    for (size_t j = i + 1; j < t.size(); ++j) {
      float score = -1.0f;
      const int r = FP_FeatureMatch(t[i].data(), t[j].data(), &score);
      PutScore(out, r, score);
    }
  return out;
}

const std::vector<Set> &Sets() {
  static const std::vector<Set> sets = {
      {"belnor_extract_256x360", 256, 360, ""},
      {"belnor_extract_400x400", 400, 400, ""},
      {"belnor_extract_640x640", 640, 640, ""},
      {"belnor_match_400x400", 0, 0, "belnor_extract_400x400"},
      {"fplib_extract", FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT, ""},
      {"fplib_match", 0, 0, "fplib_extract"},
  };
  return sets;
}

std::vector<uint8_t> Compute(const Set &set, const std::vector<uint8_t> &source) {
  const bool fp = set.name.rfind("fplib", 0) == 0;
  if (set.width == 0) return fp ? FplibMatch(source) : BelnorMatch(source);
  return fp ? FplibExtract() : BelnorExtract(set.width, set.height);
}

std::vector<uint8_t> ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string &path, const std::vector<uint8_t> &data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
  return bool(out);
}

}  // namespace golden
