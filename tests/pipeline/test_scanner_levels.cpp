// Automatic brightness through the scanner: from a picture far too dark or
// far too bright the loop steps the camera until the background is bright
// and then leaves the camera alone.
#include <cstdio>

#include "scanner_stills.h"

using namespace pipeline_test;

namespace {

constexpr int kSettleFrames = 80;  // frames the loop may take
constexpr int kQuietFrames = 15;   // frames without a level request that count as settled

struct LevelStart {
  Model model;
  int shift;         // grey levels the start adds to the delivered picture
  int32_t contrast;  // camera contrast at the start, 0 for as it is
};

void PrintTo(const LevelStart &s, std::ostream *os) { *os << s.model.id << " shift " << s.shift; }

// Camera brightness at power-up; types 2 and 5 deliver the inverted sensor
// picture, so a brighter picture needs a lower camera brightness there.
int32_t CameraBrightnessFor(int type, int shift) {
  switch (type) {
    case 1: return 95 + shift;
    case 2: return 182 - shift;
    default: return 63 - shift;
  }
}

// A brightness or contrast write of the processing unit. The loop reads
// both before every step it decides on, also when its limits leave nothing
// to write; settled means it writes nothing.
bool IsLevelWrite(const vscanner_wire_entry &e) {
  const int selector = e.value >> 8;
  return e.request_type == 0x21 && e.index == (VSCANNER_UNIT_PROCESSING << 8) &&
         (selector == 0x02 || selector == 0x03);
}

int Percentile(std::vector<uint8_t> v, double q) {
  std::nth_element(v.begin(), v.begin() + ptrdiff_t(q * (v.size() - 1)), v.end());
  return v[size_t(q * (v.size() - 1))];
}

class AutoLevels : public ScannerRun, public testing::WithParamInterface<LevelStart> {
 protected:
  struct Outcome {
    bool settled;
    int64_t frames;  // from the start to the last level request
    int32_t brightness, contrast;
    int writes;  // level writes of the last kQuietFrames frames
  };

  int32_t Control(int selector) {
    int32_t v = 0;
    EXPECT_EQ(sim.getControl(0, VSCANNER_UNIT_PROCESSING, selector, &v), 0);
    return v;
  }

  // Frames until kQuietFrames pass without the library writing brightness
  // or contrast, or the limit has certainly passed.
  Outcome WaitQuiet() {
    sim.wireClear(0);
    // Frames the pipeline delivered: each fetch waits for a newer one.
    const int64_t start = 0;
    int64_t now = 0;
    int64_t lastRequest = start;
    int seen = 0;
    std::vector<int64_t> writes;  // frames with a write
    int32_t b = Control(0x02), c = Control(0x03);
    for (;;) {
      Fetch();
      ++now;
      const int n = sim.wireCount(0);
      for (; seen < n; ++seen) {
        vscanner_wire_entry e{};
        sim.wireGet(0, seen, &e);
        if (!IsLevelWrite(e)) continue;
        lastRequest = now;
        writes.push_back(now);
      }
      const int32_t b2 = Control(0x02), c2 = Control(0x03);
      if (b2 != b || c2 != c) lastRequest = now;
      b = b2;
      c = c2;
      if (now - lastRequest >= kQuietFrames) return {true, lastRequest - start, b, c, 0};
      if (now - start > kSettleFrames + kQuietFrames + 5) {
        Outcome o{false, now - start, b, c, 0};
        for (int64_t frame : writes) o.writes += frame > now - kQuietFrames;
        return o;
      }
    }
  }
};

TEST_P(AutoLevels, SettlesAndThenLeavesTheCameraAlone) {
  const LevelStart p = GetParam();
  const int type = p.model.type;
  Open(p.model, {}, HeldFinger(type));
  if (HasFatalFailure()) return;
  Switches on;
  on.autoAdjust = true;
  SetSwitches(on);
  // From power-up the loop brightens the platen a little; once it is quiet
  // nothing races the preset below.
  const Outcome first = WaitQuiet();
  ASSERT_TRUE(first.settled) << "from power-up, brightness " << first.brightness << " contrast "
                             << first.contrast;

  const int32_t start = CameraBrightnessFor(type, p.shift);
  ASSERT_EQ(sim.setControl(0, VSCANNER_UNIT_PROCESSING, 0x02, start), 0);
  if (p.contrast) {
    ASSERT_EQ(sim.setControl(0, VSCANNER_UNIT_PROCESSING, 0x03, p.contrast), 0);
  }
  const Outcome o = WaitQuiet();
  const Picture image = FetchSettled();
  const int background = Percentile(image.pixels, 0.9), ridges = Percentile(image.pixels, 0.02);
  std::printf("%s start %+d (camera brightness %d, contrast %d): %s after %lld frames, "
              "brightness %d contrast %d, background %d ridges %d\n",
              p.model.id, p.shift, start, first.contrast, o.settled ? "settled" : "NOT settled",
              static_cast<long long>(o.frames), o.brightness, o.contrast, background, ridges);
  EXPECT_TRUE(o.settled) << "still stepping after " << o.frames << " frames: " << o.writes
                         << " writes of brightness or contrast in the last " << kQuietFrames
                         << " frames";
  EXPECT_LE(o.frames, kSettleFrames);
  // Settled means a bright platen with the ridges still dark.
  EXPECT_GE(background, 240);
  EXPECT_LT(ridges, 120);
}

// Type 5's setter reaches camera brightness 0..127 only: its starts stay
// inside that.
const LevelStart kStarts[] = {{kType1, -70, 0}, {kType1, 70, 0}, {kType2, -70, 0},
                              {kType2, 70, 0},  {kType5, -60, 0}, {kType5, 60, 0},
                              {kType1, 60, 220}};

INSTANTIATE_TEST_SUITE_P(Starts, AutoLevels, testing::ValuesIn(kStarts),
                         [](const testing::TestParamInfo<LevelStart> &i) {
                           return ModelName(i.param.model) + (i.param.shift < 0 ? "_dark" : "_bright") +
                                  (i.param.contrast ? "_hard" : "");
                         });

}  // namespace
