// An operator at the scanner, what the virtual scanner shows unless a test
// chooses otherwise: one finger rests where the single-finger windows lie,
// now and then rolls nail to nail, lifts and pauses; a lit lamp brings the
// hand it calls for, and with none lit the slap window on the screen brings
// the left four. Time and lamps give a state; every state is one still
// picture, so a source can draw each once and reuse it.
#pragma once

#include <cstdint>
#include <vector>

#include "finger_scenes.h"

namespace belnor::sim {

// The scanner's lamps as bits: lamp 0 calls the left four fingers, lamp 1
// both thumbs, lamp 2 the right four fingers.
constexpr int kLampLeftFour = 1, kLampThumbs = 2, kLampRightFour = 4;
// Not a lamp: the host's screen shows the slap window (SlapWindow). With no
// lamp lit the operator lays down the left four there, what the screen's
// hand mode asks for before a lamp lights.
constexpr int kSlapWindowShown = 8;

// Whether a capture window is the hand modes' slap window: type 5's
// 1600 x 1500 (on the other types the largest window is also the rolled
// print's, or the only one).
bool SlapWindow(int deviceType, int width, int height);

enum class OperatorPose { kAway, kResting, kRolling, kLeftFour, kThumbs, kRightFour };

struct OperatorState {
  OperatorPose pose = OperatorPose::kAway;
  int phase = 0;  // kRolling: 0 (left edge touching) .. kRollPhases - 1
  bool operator==(const OperatorState &o) const { return pose == o.pose && phase == o.phase; }
};

// With no lamp lit, a cycle repeating from the stream's start: the finger
// rests until kOperatorRestEndMs, lifts to turn onto its nail, rolls from
// kOperatorRollStartMs to kOperatorRollEndMs, then lifts and pauses, so
// that a rolled print stays on screen, until the cycle ends.
constexpr double kOperatorCycleMs = 9000, kOperatorRestEndMs = 5000;
constexpr double kOperatorRollStartMs = 5500, kOperatorRollEndMs = 7500;
constexpr int kRollPhases = 20;

// lamps: kLamp* bits, the first lit in that order wins; then kSlapWindowShown.
OperatorState OperatorStateAt(double tMs, int lamps);

// Every state numbered 0 .. kOperatorStates - 1.
constexpr int kOperatorStates = 5 + kRollPhases;
int OperatorStateIndex(const OperatorState &s);
OperatorState OperatorStateOfIndex(int index);

// Where the single finger lies on a device type's view (SceneViewSize):
// inside the windows the capture library gives 256 x 360, 400 x 400 and
// 640 x 640 by default.
void SingleFingerSpot(int deviceType, int width, int height, float *x, float *y);

// The operator's fingers on a width x height view; each hand is made when
// first asked for.
class OperatorHands {
 public:
  OperatorHands(uint32_t seed, int deviceType, int width, int height);

  struct Touch {
    const Finger *finger;
    ImpressionParams params;
  };
  // The fingers touching in a state (none when away).
  std::vector<Touch> Touching(const OperatorState &s);

 private:
  const std::vector<PlacedFinger> &Hand(SceneKind kind);

  uint32_t seed_;
  int type_, width_, height_;
  std::vector<PlacedFinger> single_, left_, right_, thumbs_;
};

}  // namespace belnor::sim
