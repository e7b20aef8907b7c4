// Matching: the fusion rule, matcher A's record decoding and constants,
// genuine against impostor scores on the sample prints, the first match of a
// process made by two threads at once, running out of memory, and the
// match's log file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "cminutiae_record.h"
#include "ctemplate.h"
#include "fail_alloc.h"
#include "fplib.h"
#include "fplib_test_util.h"
#include "fresh_process.h"
#include "match_fusion.h"
#include "match_sweep.h"
#include "matcher.h"
#include "matcher_a.h"
#include "matcher_b.h"
#include "step_log.h"

using namespace fplib;
using fptest::FpLibTest;

namespace {

TEST(Fusion, MatcherBScalesMatcherAAndTheResultIsClamped) {
  EXPECT_NEAR(fuseScores(614, 1.0f), 0.99934f, 1e-5);
  EXPECT_EQ(fuseScores(1000, 0.5f), 1.0f);
  EXPECT_NEAR(fuseScores(300, 0.5f), std::pow(0.5, 0.6) * 300 / 614.4, 1e-5);
  EXPECT_EQ(fuseScores(0, 1.0f), 0.0f);
  EXPECT_EQ(fuseScores(500, 0.0f), 0.0f);
  EXPECT_EQ(fuseMatchScores(nullptr, nullptr), 0.0f);
}

TEST(MatcherAGeometry, FloorRootAndTableDirections) {
  for (int n = 0; n < 40000; ++n) {
    const int r = floorSqrt(n);
    ASSERT_TRUE(r * r <= n && (r + 1) * (r + 1) > n) << n;
  }
  for (int n : {40000, 40001, 65535, 1 << 20, 2147395600, 2147483647}) {
    const int64_t r = floorSqrt(n);
    EXPECT_TRUE(r * r <= n && (r + 1) * (r + 1) > n) << n;
  }
  EXPECT_EQ(matcherADirection(5, 0), 0);
  EXPECT_EQ(matcherADirection(0, 5), 64);
  EXPECT_EQ(matcherADirection(-5, 0), 128);
  EXPECT_EQ(matcherADirection(0, -5), 192);
  EXPECT_EQ(matcherADirection(100, 100), 32);
  EXPECT_EQ(matcherADirection(300, -300), 224);  // scaled into the table
}

// Every vector of a pair table (and past it, where the tables are scaled),
// in rows of changing length so that every tail length is met.
TEST(MatcherAGeometry, DispatchedRowsAgreeWithOneAtATime) {
  std::vector<int32_t> dx, dy;
  for (int y = -400; y <= 400; ++y)
    for (int x = -400; x <= 400; ++x) {
      dx.push_back(x);
      dy.push_back(y);
    }
  // Squared lengths near the top of an int.
  for (const auto &v : {std::pair<int, int>{46340, 0}, {-46340, 0}, {-32767, 32767}, {30000, -30001}}) {
    dx.push_back(v.first);
    dy.push_back(v.second);
  }
  int32_t squared[2][128];
  uint16_t length[2][128];
  uint8_t direction[2][128];
  size_t at = 0;
  for (int count = 1; at < dx.size(); count = count % 119 + 1) {
    const int n = int(std::min<size_t>(size_t(count), dx.size() - at));
    matcherAGeometryPlain(&dx[at], &dy[at], n, squared[0], length[0], direction[0]);
    matcherAGeometry(&dx[at], &dy[at], n, squared[1], length[1], direction[1]);
    for (int k = 0; k < n; ++k) {
      const int x = dx[at + size_t(k)], y = dy[at + size_t(k)];
      ASSERT_EQ(squared[0][k], x * x + y * y) << x << "," << y;
      ASSERT_EQ(length[0][k], uint16_t(floorSqrt(x * x + y * y))) << x << "," << y;
      ASSERT_EQ(direction[0][k], matcherADirection(x, y)) << x << "," << y;
      ASSERT_EQ(squared[1][k], squared[0][k]) << x << "," << y;
      ASSERT_EQ(length[1][k], length[0][k]) << x << "," << y;
      ASSERT_EQ(direction[1][k], direction[0][k]) << x << "," << y;
    }
    at += size_t(n);
  }
}

// Minutiae in five far-apart pairs whose partners lie 18 pixels apart:
// d^2 = 324 makes a neighbour pair in the capture library (from 256) but not
// in matcher A (from 400).
std::vector<uint8_t> ClusterRecord() {
  const int centres[][2] = {{20, 10}, {230, 10}, {20, 200}, {230, 200}, {125, 340}};
  std::vector<uint8_t> rec(kRecordSize, 0);
  rec[0] = kRecordType;
  rec[kRecordCount] = 10;
  int i = 0;
  for (const auto &c : centres)
    for (int k = 0; k < 2; ++k, ++i) {
      uint8_t *m = &rec[kRecordSlots + 4 * size_t(i)];
      const int y = c[1] + 18 * k * (c[1] < 300 ? 1 : -1), d = 35 * i + 15;
      m[0] = uint8_t(c[0]);
      m[1] = uint8_t(y & 0xFF);
      m[2] = uint8_t(d & 0xFF);
      m[3] = uint8_t(0xFC | ((d >> 8) & 1) << 1 | ((y >> 8) & 1));
    }
  return rec;
}

TEST(MatcherAProfile, NeighbourPairsStartAt400) {
  const std::vector<uint8_t> rec = ClusterRecord();
  minutiae::MinutiaeRecord m;
  ASSERT_EQ(decodeCMinutiae(rec.data(), m), 0);
  minutiae::SetContext capture, fp;
  fp.profile = &kMatcherAProfile;
  const int capturePairs = minutiae::buildTemplateContext(capture, m, false);
  // The five 18-pixel partners pair only in the capture library.
  EXPECT_EQ(capturePairs - minutiae::buildTemplateContext(fp, m, false), 5);
  int shortPairs = 0;
  for (const minutiae::PairDescriptor &d : capture.pairs) shortPairs += d.length == 18;
  EXPECT_EQ(shortPairs, 5);
  for (const minutiae::PairDescriptor &d : fp.pairs) EXPECT_GE(d.length, 20);
}

// A plausible set of minutiae, and the same set moved and turned.
std::vector<uint8_t> SpreadRecord(int count, unsigned seed, double turn = 0, int shiftX = 0, int shiftY = 0) {
  std::vector<uint8_t> rec(kRecordSize, 0);
  rec[0] = kRecordType;
  rec[kRecordCount] = uint8_t(count);
  unsigned v = seed;
  auto next = [&](int range) { return int(((v = v * 1103515245u + 12345u) >> 16) % unsigned(range)); };
  const double c = std::cos(turn), s = std::sin(turn);
  for (int i = 0; i < count; ++i) {
    const double x = 40 + next(176) - 128.0, y = 50 + next(260) - 180.0;
    const int X = int(std::lround(128 + c * x - s * y)) + shiftX, Y = int(std::lround(180 + s * x + c * y)) + shiftY;
    const int d = (next(360) + 360 - int(std::lround(turn * 180 / M_PI))) % 360;
    uint8_t *m = &rec[kRecordSlots + 4 * size_t(i)];
    m[0] = uint8_t(std::clamp(X, 0, 255));
    const int y9 = std::clamp(Y, 0, 359);
    m[1] = uint8_t(y9 & 0xFF);
    m[2] = uint8_t(d & 0xFF);
    m[3] = uint8_t(0xFC | ((d >> 8) & 1) << 1 | ((y9 >> 8) & 1));
  }
  rec[kRecordQuality] = 100;
  return rec;
}

TEST(MatcherA, SameMinutiaeMovedStillMatchAndOthersDoNot) {
  const std::vector<uint8_t> a = SpreadRecord(40, 7);
  const int self = matchMinutiaeA(a.data(), a.data());
  EXPECT_GT(self, 614);
  const int moved = matchMinutiaeA(a.data(), SpreadRecord(40, 7, 0.1, 6, -5).data());
  EXPECT_GT(moved, 300);
  const int other = matchMinutiaeA(a.data(), SpreadRecord(40, 99).data());
  EXPECT_LT(other, moved / 2);
}

TEST(MatcherA, SetsOutsideSevenToOneHundredAreRefused) {
  std::vector<uint8_t> six = SpreadRecord(6, 3), fifty = SpreadRecord(50, 3);
  EXPECT_EQ(matchMinutiaeA(six.data(), fifty.data()), 0);
  EXPECT_EQ(fuseMatchScores(six.data(), fifty.data()), 0.0f);
  EXPECT_GT(matchMinutiaeA(fifty.data(), fifty.data()), 0);
  // Through the templates: a count of 6 unpacks, and scores 0.
  uint8_t t6[kTemplateSize], t50[kTemplateSize];
  writeCTemplate(RefPoints{}, six.data(), 1, 1, t6, 0);
  writeCTemplate(RefPoints{}, fifty.data(), 1, 1, t50, 0);
  float score = 5;
  EXPECT_EQ(featureMatch(t6, t50, &score), 1);
  EXPECT_EQ(score, 0.0f);
  EXPECT_EQ(featureMatch(t50, t50, &score), 1);
  EXPECT_EQ(score, 1.0f);
}

// A template of a record, as FP_FeatureExtract would write it.
std::vector<uint8_t> TemplateOf(const std::vector<uint8_t> &record) {
  std::vector<uint8_t> t(kTemplateSize);
  writeCTemplate(RefPoints{}, record.data(), 1, 1, t.data(), 0);
  return t;
}

// Run in a child process of its own (see below): two threads make the
// process's first match at the same moment, then one thread matches alone.
TEST(FirstMatchChild, TwoThreadsAtOnceAgreeWithOneThread) {
  if (!testproc::InFreshProcess()) GTEST_SKIP() << "runs as a child of FirstMatch";
  const std::vector<uint8_t> a = TemplateOf(SpreadRecord(40, 7)), b = TemplateOf(SpreadRecord(40, 7, 0.1, 6, -5));
  std::atomic<int> waiting{2};
  float scores[2] = {-1, -1};
  int results[2] = {0, 0};
  auto run = [&](int k) {
    waiting.fetch_sub(1);
    while (waiting.load() > 0) {
    }
    results[k] = featureMatch(a.data(), b.data(), &scores[k]);
  };
  std::thread t0(run, 0), t1(run, 1);
  t0.join();
  t1.join();
  float alone = -1;
  ASSERT_EQ(featureMatch(a.data(), b.data(), &alone), 1);
  EXPECT_GT(alone, 0.0f);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(results[k], 1);
    EXPECT_EQ(scores[k], alone) << "thread " << k;
  }
}

TEST(FirstMatch, TwoThreadsBuildTheTablesOnceInFreshProcesses) {
  for (int run = 0; run < 20; ++run) ASSERT_EQ(testproc::RunInFreshProcess("FirstMatchChild.*"), 0) << "run " << run;
}

// In a fresh process, so that the matchers' working memory (and, for the
// image match, this thread's extraction buffers) is made under the sweep:
// every failed allocation gives FP_ERR_MEMORY with score 0, and the host
// goes on.
TEST_F(FpLibTest, OutOfMemoryChildMatchesFail) {
  if (!testproc::InFreshProcess()) GTEST_SKIP() << "runs as a child of OutOfMemory";
  std::vector<uint8_t> a = TemplateOf(SpreadRecord(40, 7)), b = TemplateOf(SpreadRecord(40, 7, 0.1, 6, -5));
  const std::vector<uint8_t> print = fptest::SyntheticPrint();
  std::vector<uint8_t> image = print, t(kTemplateSize);
  std::thread([&] { FP_FeatureExtract(1, 1, image.data(), t.data()); }).join();
  const auto check = [](auto match) {
    const testproc::SweptMatches swept = testproc::SweepMatch(match);
    ASSERT_GT(swept.points, 1);
    float alone = -1;
    ASSERT_EQ(match(&alone), 1);
    EXPECT_GT(alone, 0.0f);
    int failed = 0;
    for (size_t k = 0; k < swept.results.size(); ++k) {
      if (swept.results[k] == FP_ERR_MEMORY) {
        ++failed;
        EXPECT_EQ(swept.scores[k], 0.0f) << k;
      } else {
        EXPECT_EQ(swept.results[k], 1) << k;
        EXPECT_EQ(swept.scores[k], alone) << k;
      }
    }
    EXPECT_GT(failed, 0);
  };
  check([&](float *s) { return FP_FeatureMatch(a.data(), b.data(), s); });
  check([&](float *s) {
    std::copy(print.begin(), print.end(), image.begin());
    return FP_ImageMatch(image.data(), t.data(), s);
  });
}

// One record against many, the way a search through stored templates runs:
// once matcher B's working memory has grown over the run, the same run again
// makes no allocation. The first allocation of the second run is set to
// fail, and every score must still be the first run's.
TEST(MatcherBWorkspace, AWarmRunAgainstOneFirstSetAllocatesNothing) {
  const std::vector<uint8_t> first = SpreadRecord(40, 7);
  std::vector<std::vector<uint8_t>> others;
  for (unsigned seed : {5u, 6u, 7u, 9u}) {
    others.push_back(SpreadRecord(30 + int(seed), seed));
    others.push_back(SpreadRecord(40, 7, 0.03 * seed, int(seed), -3));
  }
  std::vector<float> scores;
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) fail_alloc_arm(1, FAIL_ALLOC_THIS_THREAD);
    for (size_t i = 0; i < others.size(); ++i) {
      bool noMemory = false;
      const float score = ScoreMatcherB(first.data(), others[i].data(), &noMemory);
      EXPECT_FALSE(noMemory) << "pass " << pass << " set " << i;
      if (pass == 0)
        scores.push_back(score);
      else
        EXPECT_EQ(score, scores[i]) << i;
    }
    if (pass == 1) {
      EXPECT_FALSE(fail_alloc_fired());
      fail_alloc_disarm();
    }
  }
  // The run holds genuine pairs as well as others.
  EXPECT_GT(*std::max_element(scores.begin(), scores.end()), 0.3f);
}

TEST(OutOfMemory, MatchesReportItInAFreshProcess) {
  EXPECT_EQ(testproc::RunInFreshProcess("FpLibTest.OutOfMemoryChildMatchesFail"), 0);
}

// Matches running at the same time each borrow their own working memory:
// every thread gets the scores one thread alone gets.
TEST(ConcurrentMatches, EveryThreadGetsTheSingleThreadedScores) {
  std::vector<std::vector<uint8_t>> t;
  for (unsigned seed : {3u, 7u, 11u})
    for (double turn : {0.0, 0.15}) t.push_back(TemplateOf(SpreadRecord(30 + int(seed), seed, turn, 4, -3)));
  std::vector<float> alone(t.size() * t.size());
  for (size_t i = 0; i < t.size(); ++i)
    for (size_t j = 0; j < t.size(); ++j) ASSERT_EQ(featureMatch(t[i].data(), t[j].data(), &alone[i * t.size() + j]), 1);
  constexpr int kThreads = 4;
  std::vector<std::vector<float>> got(kThreads, std::vector<float>(alone.size(), -1));
  std::vector<std::thread> threads;
  for (int k = 0; k < kThreads; ++k)
    threads.emplace_back([&, k] {
      for (int round = 0; round < 3; ++round)
        for (size_t n = 0; n < alone.size(); ++n) {
          const size_t cell = (n + size_t(k) * 5) % alone.size();
          featureMatch(t[cell / t.size()].data(), t[cell % t.size()].data(), &got[size_t(k)][cell]);
        }
    });
  for (std::thread &th : threads) th.join();
  for (int k = 0; k < kThreads; ++k) EXPECT_EQ(got[size_t(k)], alone) << "thread " << k;
}

std::string ReadFile(const std::filesystem::path &p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The log file may stay open between lines, but every line of a call is in
// the file of the working directory the call ran in by the time it returns.
TEST_F(FpLibTest, MatchLogLinesGoToTheWorkingDirectoryOfEachCall) {
  const std::vector<uint8_t> a = TemplateOf(SpreadRecord(40, 7));
  const std::filesystem::path other = dir_ / "other", log = dir_ / kLogFileName;
  std::filesystem::create_directory(other);
  std::filesystem::remove(log);
  float score = 0;
  auto match = [&] {
    testing::internal::CaptureStdout();
    EXPECT_EQ(FP_FeatureMatch(const_cast<uint8_t *>(a.data()), const_cast<uint8_t *>(a.data()), &score), 1);
    return testing::internal::GetCapturedStdout();
  };
  const std::string first = match();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(ReadFile(log), first);
  std::filesystem::current_path(other);
  const std::string second = match();
  EXPECT_EQ(ReadFile(other / kLogFileName), second);
  EXPECT_EQ(ReadFile(log), first);
  // A removed file is made again.
  std::filesystem::remove(other / kLogFileName);
  const std::string third = match();
  EXPECT_EQ(ReadFile(other / kLogFileName), third);
  std::filesystem::current_path(dir_);
  const std::string fourth = match();
  EXPECT_EQ(ReadFile(log), first + fourth);
  EXPECT_EQ(ReadFile(other / kLogFileName), third);
}

class SampleMatch : public FpLibTest {};

TEST_F(SampleMatch, GenuinePairsScoreAboveImpostorPairs) {
  if (fptest::SampleDir().empty()) GTEST_SKIP() << "no sample prints";
  const int fingers[] = {101, 102, 103, 104};
  std::vector<std::vector<uint8_t>> t;
  for (int f : fingers)
    for (int i : {1, 2}) {
      std::vector<uint8_t> img = fptest::LoadSample(f, i), tmpl(FP_TEMPLATE_SIZE);
      ASSERT_EQ(img.size(), size_t(FP_IMAGE_SIZE));
      ASSERT_EQ(FP_FeatureExtract(1, 2, img.data(), tmpl.data()), 1);
      ASSERT_EQ(tmpl[4], 1) << f << "_" << i << " gave no features";
      t.push_back(tmpl);
    }
  float lowestGenuine = 1, highestImpostor = 0;
  for (size_t a = 0; a < t.size(); ++a)
    for (size_t b = 0; b < t.size(); ++b) {
      float s = -1;
      ASSERT_EQ(FP_FeatureMatch(t[a].data(), t[b].data(), &s), 1);
      ASSERT_GE(s, 0.0f);
      ASSERT_LE(s, 1.0f);
      if (a == b) EXPECT_EQ(s, 1.0f);
      else if (a / 2 == b / 2) lowestGenuine = std::min(lowestGenuine, s);
      else highestImpostor = std::max(highestImpostor, s);
    }
  EXPECT_GT(lowestGenuine, highestImpostor);
}

}  // namespace
