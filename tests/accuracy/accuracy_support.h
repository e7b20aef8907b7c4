// The 80 real prints (10 fingers x 8 impressions) and the error rates of a
// matcher over every pair of them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace accuracy {

constexpr int kFingers = 10;
constexpr int kImpressions = 8;
constexpr int kPrints = kFingers * kImpressions;

// Every print centred on a width x height canvas: cut where the print is
// larger, white (255) around it where it is smaller. Rows top first, finger
// by finger (print k is of finger k / kImpressions). Empty when the build found
// no prints; a print that cannot be read is left out.
std::vector<std::vector<uint8_t>> LoadPrints(int width, int height);

// Scores of the unordered pairs of distinct prints (280 genuine and 2,880
// impostor for the 80 prints), each pair matched once, lower index first.
struct PairScores {
  std::vector<float> genuine, impostor;
};
PairScores ScoreAllPairs(int prints, const std::function<float(int, int)> &match);

// A library's match call on two templates: false when it refuses them.
using MatchCall = std::function<bool(const std::vector<uint8_t> &, const std::vector<uint8_t> &, float *)>;
// Every template against itself must score 1; then the scores of all pairs.
// Refused calls and scores outside 0..1 are test failures, reported once
// with their count.
PairScores MatchAll(const std::vector<std::vector<uint8_t>> &templates, const MatchCall &match);

// The lowest scores at which a matcher accepts at most one in a thousand
// impostor pairs of the real prints (2 of the 2,880): the thresholds of a
// false match rate of 1/1000, as the accuracy tests measure them.
constexpr float kBelnorThresholdFmr1000 = 0.0114f;
constexpr float kMinutiaThresholdFmr1000 = 0.3301f;

// Impostor pairs scoring at or above a threshold.
int AcceptedImpostors(const PairScores &scores, float threshold);

// Equal error rate where the false reject and false accept rates cross, as
// the fingerprint verification competitions define it (a pair is accepted
// when its score is at least the threshold). 0 when some threshold separates
// genuine from impostor pairs.
double EqualErrorRate(const PairScores &scores);

}  // namespace accuracy
