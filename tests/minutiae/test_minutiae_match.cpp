// Matcher: descriptor rules, invariance, genuine against impostor, fuzzing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "device_state.h"
#include "extract_driver.h"
#include "ftemplate.h"
#include "int_geometry.h"
#include "livescan.h"
#include "matcher.h"
#include "compat_screen.h"
#include "octant_vote.h"
#include "sample_prints.h"

using namespace minutiae;

namespace {

MinutiaeRecord RandomSet(std::mt19937 &rng, int n, int w = 256, int h = 360) {
  MinutiaeRecord r{};
  std::uniform_int_distribution<int> ux(20, w - 21), uy(20, h - 21), ua(0, 255);
  while (r.count < n) {
    const Minutia m{uint16_t(ux(rng)), uint16_t(uy(rng)), 1, uint8_t(ua(rng))};
    bool ok = true;
    for (int i = 0; i < r.count; ++i)
      ok = ok && std::hypot(r.minutiae[i].x - m.x, r.minutiae[i].y - m.y) >= 12;
    if (ok) r.minutiae[r.count++] = m;
  }
  return r;
}

// Rotates by deg about the centre, shifts, jitters and drops a share.
MinutiaeRecord Impression(const MinutiaeRecord &src, std::mt19937 &rng, double deg, int sx, int sy, double jitter,
                          double drop) {
  MinutiaeRecord r{};
  std::normal_distribution<double> j(0, jitter);
  std::uniform_real_distribution<double> u(0, 1);
  const double a = deg * M_PI / 180, c = std::cos(a), s = std::sin(a);
  for (int i = 0; i < src.count; ++i) {
    if (u(rng) < drop) continue;
    const double x = src.minutiae[i].x - 128, y = src.minutiae[i].y - 180;
    const int nx = int(std::lround(128 + c * x - s * y + sx + j(rng)));
    const int ny = int(std::lround(180 + s * x + c * y + sy + j(rng)));
    const int na = int(std::lround(src.minutiae[i].angle + deg * 256 / 360 + j(rng))) & 255;
    if (nx < 0 || ny < 0) continue;
    r.minutiae[r.count++] = {uint16_t(nx), uint16_t(ny), 1, uint8_t(na)};
  }
  return r;
}

}  // namespace

TEST(MatchContext, PairsNeedSixteenToOneHundredEightyPixels) {
  MinutiaeRecord r{};
  r.count = 3;
  r.minutiae[0] = {100, 100, 1, 0};
  r.minutiae[1] = {115, 100, 1, 0};  // d2 = 225
  r.minutiae[2] = {100, 281, 1, 0};  // d2 = 32761
  SetContext ctx;
  EXPECT_EQ(buildTemplateContext(ctx, r, true), 0);
  r.minutiae[1] = {116, 100, 1, 0};  // d2 = 256
  SetContext ctx2;
  EXPECT_EQ(buildTemplateContext(ctx2, r, true), 2);
  ASSERT_EQ(ctx2.pairs.size(), 2u);
  EXPECT_EQ(ctx2.pairs[0].length, 16);
  EXPECT_EQ(ctx2.pairs[0].angleNear, 0);
  EXPECT_EQ(ctx2.pairs[1].angleNear, 128);
  // Octant neighbours only up to d2 = 12099.
  EXPECT_EQ(ctx2.octants[0].length[0], 16);
}

TEST(MatchContext, BucketsCoverTwelveUnitsEitherSide) {
  SetContext a;
  MinutiaeRecord r{};
  a.record = &r;
  a.pairs = {{0, 1, 30, 20, 112}, {1, 0, 30, 112, 20}};
  fillBucketIndex(a);
  // angleNear 20 -> rows 0 and 1; angleFar 112 -> column 3 only.
  EXPECT_EQ(a.buckets[0 * 8 + 3].size(), 1u);
  EXPECT_EQ(a.buckets[1 * 8 + 3].size(), 1u);
  EXPECT_EQ(a.buckets[3 * 8 + 0].size(), 1u);
  EXPECT_EQ(a.buckets[3 * 8 + 1].size(), 1u);
  int total = 0;
  for (auto &b : a.buckets) total += int(b.size());
  EXPECT_EQ(total, 4);
}

TEST(MatchContext, IdenticalDescriptorsScoreWithTheTypeFactor) {
  std::mt19937 rng(4);
  const MinutiaeRecord r = RandomSet(rng, 20);
  SetContext a, b;
  ASSERT_GT(buildTemplateContext(a, r, true), 0);
  ASSERT_GT(buildTemplateContext(b, r, false), 0);
  VoteState v;
  v.votes.assign(120 * 120, 0);
  v.weightedVotes.assign(120 * 120, 0);
  ASSERT_GT(matchPairDescriptors(a, b, v), 0);
  int best = 0;
  for (const MatchCandidate &c : v.candidates) {
    EXPECT_GT(c.score, 145);
    EXPECT_LE(c.score, 1386);
    EXPECT_LE(c.turnScore, c.score);
    best = std::max(best, c.score);
  }
  EXPECT_EQ(best, 1386);
  ASSERT_GT(voteAlignments(b, a, v), 0);
  std::vector<Correspondence> list;
  ASSERT_GT(collectCorrespondences(a, b, v, list), 0);
  int identity = 0;
  for (size_t k = 0; k < list.size(); ++k) {
    identity += list[k].a == list[k].b;
    if (k) {
      EXPECT_LE(list[k - 1].b, list[k].b);
    }
  }
  EXPECT_GE(identity, 15);
}

// Dense sets give more candidates than the cap; those kept are the first in
// the order of B's descriptors and then A's, as a plain scan of A's
// descriptors finds them.
TEST(MatchContext, CandidatesAtTheCapAreTheFirstOnes) {
  std::mt19937 rng(31);
  const MinutiaeRecord ra = RandomSet(rng, 120, 200, 200), rb = Impression(ra, rng, 3, 2, 1, 1.0, 0.0);
  SetContext a, b;
  ASSERT_GT(buildTemplateContext(a, ra, true), 0);
  ASSERT_GT(buildTemplateContext(b, rb, false), 0);
  VoteState v;
  v.votes.assign(120 * 120, 0);
  matchPairDescriptors(a, b, v);
  ASSERT_EQ(int(v.candidates.size()), kMaxMatchCandidates);
  auto inBucket = [](const PairDescriptor &s, const PairDescriptor &q) {
    const int r = q.angleNear / 32, c = q.angleFar / 32;
    const bool row = (((s.angleNear - 12) & 255) >> 5) == r || (((s.angleNear + 12) & 255) >> 5) == r;
    const bool col = (((s.angleFar - 12) & 255) >> 5) == c || (((s.angleFar + 12) & 255) >> 5) == c;
    return row && col;
  };
  std::vector<std::pair<int, int>> want;
  for (size_t qi = 0; qi < b.pairs.size() && want.size() < size_t(kMaxMatchCandidates); ++qi)
    for (size_t si = 0; si < a.pairs.size() && want.size() < size_t(kMaxMatchCandidates); ++si) {
      const PairDescriptor &s = a.pairs[si], &q = b.pairs[qi];
      const int d1 = std::abs(Signed8(q.angleNear - s.angleNear)), d2 = std::abs(Signed8(q.angleFar - s.angleFar));
      const int dl = std::abs(s.length - q.length);
      if (inBucket(s, q) && dl <= 15 && d1 <= 12 && d2 <= 12 && 1155 - 44 * dl - 30 * (d1 + d2) > 145)
        want.emplace_back(int(qi), int(si));
    }
  std::vector<std::pair<int, int>> got;
  for (const MatchCandidate &c : v.candidates) got.emplace_back(c.bDesc, c.aDesc);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, want);
}

// A match reuses a side's context when that side is the previous match's;
// a set changed in place, or another set, must be built afresh.
TEST(MatchScore, ReusedFirstSetGivesTheScoresOfAFreshOne) {
  std::mt19937 rng(13);
  MinutiaeRecord f = RandomSet(rng, 35);
  const MinutiaeRecord other = RandomSet(rng, 30), imp = Impression(f, rng, 5, 3, -2, 1.0, 0.1);
  auto fresh = [&](const MinutiaeRecord &a, const MinutiaeRecord &b) {
    matchMinutiaeSets(other, other);  // leaves other sets behind on both sides
    return matchMinutiaeSets(a, b);
  };
  const int genuine = fresh(f, imp);
  EXPECT_GT(genuine, 0);
  EXPECT_EQ(matchMinutiaeSets(f, imp), genuine);
  EXPECT_EQ(matchMinutiaeSets(f, other), fresh(f, other));
  const MinutiaeRecord copy = f;
  EXPECT_EQ(matchMinutiaeSets(copy, imp), genuine);
  // Same address, other content.
  matchMinutiaeSets(f, imp);
  f.minutiae[3].x = uint16_t(f.minutiae[3].x + 9);
  f.minutiae[5].angle = uint8_t(f.minutiae[5].angle + 40);
  const int changed = matchMinutiaeSets(f, imp);
  EXPECT_EQ(changed, fresh(f, imp));
  // A shorter set of the same leading minutiae.
  f.count = 20;
  EXPECT_EQ(matchMinutiaeSets(f, imp), fresh(f, imp));
  // The second set reused the same way, also changed in place.
  MinutiaeRecord probe = imp;
  const int asProbe = fresh(other, probe);
  matchMinutiaeSets(f, probe);
  EXPECT_EQ(matchMinutiaeSets(other, probe), asProbe);
  probe.minutiae[2].y = uint16_t(probe.minutiae[2].y + 7);
  const int movedProbe = matchMinutiaeSets(other, probe);
  EXPECT_EQ(movedProbe, fresh(other, probe));
}

void ExpectSameAgreements(const OctantLanes &b, const OctantLanes *a, int count, int lengthDiff, int *scored) {
  uint8_t cols[kMaxMinutiae] = {};
  OctantAgreement got[kMaxMinutiae] = {};
  for (int i = 0; i < count; ++i) cols[i] = uint8_t(count - 1 - i);
  octantAgreements(b, a, cols, count, lengthDiff, got);
  for (int i = 0; i < count; ++i) {
    const OctantAgreement want = octantAgreementPlain(b, a[cols[i]], lengthDiff);
    ASSERT_EQ(got[i].sum, want.sum) << "column " << int(cols[i]);
    ASSERT_EQ(got[i].total, want.total) << "column " << int(cols[i]);
    *scored += want.sum > 0;
  }
}

// Minutiae of a dozen sample prints, extracted once; empty without prints.
const std::vector<MinutiaeRecord> &SampleRecords() {
  static const std::vector<MinutiaeRecord> records = [] {
    std::vector<MinutiaeRecord> out;
    const std::filesystem::path dir = sample::SampleDir();
    if (dir.empty()) return out;
    for (int f = 101; f <= 106; ++f)
      for (int imp : {1, 2}) {
        const std::vector<uint8_t> img = sample::LoadPadded(dir / (std::to_string(f) + "_" + std::to_string(imp) + ".bmp"));
        uint8_t t[kFTemplateMax];
        if (img.empty() || extractFTemplate(img.data(), 400, 400, t) <= 0) continue;
        out.emplace_back();
        if (!unpackFTemplate(t, out.back())) out.pop_back();
      }
    return out;
  }();
  return records;
}

// The dispatched octant vote gives the plain one's sums and counts on the
// neighbourhoods of real prints, under both length tolerances in use.
TEST(MatchOctants, DispatchedAgreesWithPlainOnSamplePrints) {
  const std::vector<MinutiaeRecord> &records = SampleRecords();
  if (records.empty()) GTEST_SKIP() << "sample prints not present";
  std::vector<SetContext> ctx(records.size());
  for (size_t i = 0; i < records.size(); ++i) buildTemplateContext(ctx[i], records[i], true);
  int scored = 0;
  for (int lengthDiff : {15, 16})
    for (const SetContext &b : ctx)
      for (const SetContext &a : ctx)
        for (int bi = 0; bi < b.count; ++bi)
          ExpectSameAgreements(b.octants[size_t(bi)], a.octants.data(), a.count, lengthDiff, &scored);
  EXPECT_GT(scored, 1000);
}

// Coarse random neighbourhoods, so that scores tie often and octants are
// often empty: the first best still wins on both sides.
TEST(MatchOctants, DispatchedAgreesWithPlainOnTies) {
  std::mt19937 rng(5);
  const int angles[] = {0, 1, 14, 15, 16, 241, 242, 255, 128};
  const int lengths[] = {0, 20, 20, 21, 35, 36, 37};
  auto pick = [&](const auto &values) {
    return int16_t(values[std::uniform_int_distribution<size_t>(0, std::size(values) - 1)(rng)]);
  };
  auto fill = [&](OctantLanes &o) {
    for (int k = 0; k < 8; ++k) {
      o.angleNear[k] = pick(angles);
      o.angleFar[k] = pick(angles);
      o.length[k] = pick(lengths);
    }
  };
  std::vector<OctantLanes> a(kMaxMinutiae);
  int scored = 0;
  for (int round = 0; round < 200; ++round) {
    OctantLanes b;
    fill(b);
    for (OctantLanes &o : a) fill(o);
    ExpectSameAgreements(b, a.data(), kMaxMinutiae, round % 2 ? 15 : 16, &scored);
  }
  EXPECT_GT(scored, 1000);
}

// The dispatched conflict screen sets the plain one's bits, and leaves the
// bits outside its range alone, for correspondence lists drawn from real
// prints (with shared minutiae) and tolerances tight and loose.
TEST(MatchScreen, DispatchedAgreesWithPlainOnSamplePrints) {
  const std::vector<MinutiaeRecord> &records = SampleRecords();
  if (records.size() < 2) GTEST_SKIP() << "sample prints not present";
  std::mt19937 rng(9);
  int conflicts = 0, open = 0;
  for (size_t r = 0; r + 1 < records.size(); ++r) {
    SetContext a, b;
    buildTemplateContext(a, records[r], true);
    buildTemplateContext(b, records[r + 1], false);
    const int n = 1 + int(rng() % 200);
    std::vector<int32_t> listA(size_t(n) + kScreenPad, 0), listB(size_t(n) + kScreenPad, 0);
    for (int j = 0; j < n; ++j) {
      listA[size_t(j)] = int32_t(rng() % unsigned(a.count));
      listB[size_t(j)] = int32_t(rng() % unsigned(b.count));
    }
    ScreenLimits limits;
    for (int s = 0; s < 400; ++s) limits.bySum[s] = int32_t(rng() % (r % 2 ? 40 : 120)) | int32_t(rng() % 60) << 8;
    const int words = (n + 63) / 64;
    for (int i = 0; i < n; ++i) {
      const int a1 = listA[size_t(i)], b1 = listB[size_t(i)];
      const PairCell *rowA = &a.cells[size_t(a1) * 120], *rowB = &b.cells[size_t(b1) * 120];
      for (int from : {i + 1, i / 3}) {
        std::vector<uint64_t> want(size_t(words), 0x8000000000000001ull), got = want;
        screenConflictsPlain(rowA, rowB, a1, b1, listA.data(), listB.data(), from, n, limits, want.data());
        screenConflicts(rowA, rowB, a1, b1, listA.data(), listB.data(), from, n, limits, got.data());
        ASSERT_EQ(got, want) << "row " << i << " from " << from << " of " << n;
        for (int j = from; j < n; ++j) ((want[size_t(j) / 64] >> (j % 64)) & 1 ? conflicts : open)++;
      }
    }
  }
  EXPECT_GT(conflicts, 1000);
  EXPECT_GT(open, 1000);
}

TEST(MatchFold, AxisAndQuarterDistances) {
  EXPECT_EQ(foldAngleDistance(100, 140), 0);
  EXPECT_EQ(foldAngleDistance(120, 125), 3);
  EXPECT_EQ(foldAngleDistance(130, 135), 2);
  EXPECT_EQ(foldAngleDistance(5, 250), 0);
  EXPECT_EQ(foldAngleDistance(3, 9), 3);
  EXPECT_EQ(foldAngleDistance(250, 240), 6);
  EXPECT_EQ(foldAngleDistance(253, 250), 3);
  EXPECT_EQ(foldAngleDistance(60, 10), 16);
  EXPECT_EQ(foldAngleDistanceQuarter(70, 40), 0);
  EXPECT_EQ(foldAngleDistanceQuarter(70, 75), 6);
  EXPECT_EQ(foldAngleDistanceQuarter(70, 10), 16);
  EXPECT_EQ(foldAngleDistanceQuarter(60, 62), 2);
  EXPECT_EQ(foldAngleDistanceQuarter(200, 150), 0);
  EXPECT_EQ(foldAngleDistanceQuarter(200, 210), 8);
  EXPECT_EQ(foldAngleDistanceQuarter(180, 185), 7);
  EXPECT_EQ(foldAngleDistanceQuarter(0, 64), 16);
}

TEST(MatchScore, SelfMatchesScoreOne) {
  std::mt19937 rng(21);
  for (int k = 0; k < 20; ++k) {
    const MinutiaeRecord r = RandomSet(rng, 12 + 5 * k % 100);
    EXPECT_FLOAT_EQ(scoreMinutiaeSets(&r, &r), 1.0f) << r.count;
  }
}

TEST(MatchScore, GenuineImpressionsBeatImpostors) {
  std::mt19937 rng(8);
  int genuinePass = 0, impostorPass = 0;
  const int trials = 30;
  for (int k = 0; k < trials; ++k) {
    const MinutiaeRecord finger = RandomSet(rng, 40);
    const double deg = std::uniform_real_distribution<double>(-30, 30)(rng);
    const int sx = std::uniform_int_distribution<int>(-30, 30)(rng), sy = std::uniform_int_distribution<int>(-30, 30)(rng);
    const MinutiaeRecord imp = Impression(finger, rng, deg, sx, sy, 1.5, 0.2);
    const MinutiaeRecord other = RandomSet(rng, 40);
    const float g = scoreMinutiaeSets(&finger, &imp), i = scoreMinutiaeSets(&finger, &other);
    EXPECT_GE(g, 0.0f);
    EXPECT_LE(g, 1.0f);
    genuinePass += g >= 0.3f;
    impostorPass += i >= 0.3f;
  }
  EXPECT_GE(genuinePass, trials * 9 / 10);
  EXPECT_EQ(impostorPass, 0);
  // A rigid move without jitter keeps the score at 1.
  const MinutiaeRecord f = RandomSet(rng, 35);
  const MinutiaeRecord moved = Impression(f, rng, 0, 25, -17, 0, 0);
  EXPECT_FLOAT_EQ(scoreMinutiaeSets(&f, &moved), 1.0f);
}

TEST(MatchScore, SmallAndEmptySets) {
  MinutiaeRecord empty{}, one{};
  one.count = 1;
  one.minutiae[0] = {50, 50, 1, 0};
  EXPECT_EQ(scoreMinutiaeSets(&empty, &empty), 0.0f);
  EXPECT_EQ(scoreMinutiaeSets(&one, &one), 0.0f);
  EXPECT_EQ(scoreMinutiaeSets(nullptr, &one), 0.0f);
}

TEST(MatchFTemplates, ChecksAndFuzz) {
  uint8_t a[kFTemplateMax] = {0x46, 0x10, 0x63, 50, 0}, b[kFTemplateMax] = {0x47};
  float s = -1;
  EXPECT_EQ(matchFTemplates(a, b, &s), -1);
  EXPECT_EQ(matchFTemplates(nullptr, a, &s), -1);
  EXPECT_EQ(matchFTemplates(a, a, &s), 1);
  EXPECT_EQ(s, 0.0f);
  std::mt19937 rng(99);
  for (int k = 0; k < 60; ++k) {
    uint8_t t1[kFTemplateMax], t2[kFTemplateMax];
    for (uint8_t &x : t1) x = uint8_t(rng());
    for (uint8_t &x : t2) x = uint8_t(rng());
    t1[0] = t2[0] = 0x46;
    ASSERT_EQ(matchFTemplates(t1, t2, &s), 1);
    ASSERT_GE(s, 0.0f);
    ASSERT_LE(s, 1.0f);
  }
}

TEST(FeatureMatchMem, ArgumentStateAndClamp) {
  std::mt19937 rng(2);
  MinutiaeRecord r = RandomSet(rng, 30);
  uint8_t t[kFTemplateMax];
  packFTemplate(r, 60, t);
  float s = -1;
  belnor::g_bInitialized = 0;
  EXPECT_EQ(LIVESCAN_FeatureMatchMem(nullptr, t, &s), -1);
  EXPECT_EQ(LIVESCAN_FeatureMatchMem(t, t, nullptr), -1);
  EXPECT_EQ(LIVESCAN_FeatureMatchMem(t, t, &s), -5);
  belnor::g_bInitialized = 1;
  EXPECT_EQ(LIVESCAN_FeatureMatchMem(t, t, &s), 1);
  EXPECT_FLOAT_EQ(s, 1.0f);
  uint8_t bad[kFTemplateMax] = {0x00};
  EXPECT_EQ(LIVESCAN_FeatureMatchMem(t, bad, &s), -1);
  EXPECT_EQ(s, 0.0f);
  belnor::g_bInitialized = 0;
}
