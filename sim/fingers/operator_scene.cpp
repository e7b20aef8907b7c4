// The operator's timeline and where the fingers lie.
#include "operator_scene.h"

#include <algorithm>
#include <cmath>

namespace belnor::sim {

OperatorState OperatorStateAt(double tMs, int lamps) {
  if (lamps & kLampLeftFour) return {OperatorPose::kLeftFour, 0};
  if (lamps & kLampThumbs) return {OperatorPose::kThumbs, 0};
  if (lamps & kLampRightFour) return {OperatorPose::kRightFour, 0};
  if (lamps & kSlapWindowShown) return {OperatorPose::kLeftFour, 0};
  const double t = std::fmod(std::max(0.0, tMs), kOperatorCycleMs);
  if (t < kOperatorRestEndMs) return {OperatorPose::kResting, 0};
  if (t < kOperatorRollStartMs || t >= kOperatorRollEndMs) return {OperatorPose::kAway, 0};
  const int phase = int((t - kOperatorRollStartMs) / (kOperatorRollEndMs - kOperatorRollStartMs) * kRollPhases);
  return {OperatorPose::kRolling, std::min(phase, kRollPhases - 1)};
}

bool SlapWindow(int deviceType, int width, int height) {
  return deviceType == 5 && width == 1600 && height == 1500;
}

int OperatorStateIndex(const OperatorState &s) {
  switch (s.pose) {
    case OperatorPose::kAway: return 0;
    case OperatorPose::kResting: return 1;
    case OperatorPose::kLeftFour: return 2;
    case OperatorPose::kThumbs: return 3;
    case OperatorPose::kRightFour: return 4;
    case OperatorPose::kRolling: break;
  }
  return 5 + std::clamp(s.phase, 0, kRollPhases - 1);
}

OperatorState OperatorStateOfIndex(int index) {
  static const OperatorPose kFixed[] = {OperatorPose::kAway, OperatorPose::kResting, OperatorPose::kLeftFour,
                                        OperatorPose::kThumbs, OperatorPose::kRightFour};
  if (index >= 0 && index < 5) return {kFixed[index], 0};
  return {OperatorPose::kRolling, std::clamp(index - 5, 0, kRollPhases - 1)};
}

void SingleFingerSpot(int deviceType, int width, int height, float *x, float *y) {
  // The default origins of the three windows on the types that place them
  // apart; elsewhere they cover the view.
  struct Window {
    int x, y, w, h;
  };
  std::vector<Window> windows;
  if (deviceType == 1) {
    windows = {{192, 216, 256, 360}, {120, 120, 400, 400}, {0, 0, 640, 640}};
  } else if (deviceType == 5) {
    for (const int side : {256, 400, 640}) {
      const int h = side == 256 ? 360 : side;
      windows.push_back({(1600 - side) / 2, 1436 - h, side, h});
    }
  }
  int x0 = 0, y0 = 0, x1 = width, y1 = height;
  for (const Window &w : windows) {
    x0 = std::max(x0, w.x);
    y0 = std::max(y0, w.y);
    x1 = std::min(x1, w.x + w.w);
    y1 = std::min(y1, w.y + w.h);
  }
  *x = (x0 + x1) / 2.0f;
  *y = (y0 + y1) / 2.0f;
}

OperatorHands::OperatorHands(uint32_t seed, int deviceType, int width, int height)
    : seed_(seed), type_(deviceType), width_(width), height_(height) {}

const std::vector<PlacedFinger> &OperatorHands::Hand(SceneKind kind) {
  std::vector<PlacedFinger> &hand = kind == SceneKind::kSlapLeft    ? left_
                                    : kind == SceneKind::kSlapRight ? right_
                                    : kind == SceneKind::kTwoThumbs ? thumbs_
                                                                    : single_;
  if (hand.empty()) {
    hand = PlaceFingers(kind, seed_, width_, height_);
    if (kind == SceneKind::kFlatFinger)
      SingleFingerSpot(type_, width_, height_, &hand[0].base.centreX, &hand[0].base.centreY);
  }
  return hand;
}

std::vector<OperatorHands::Touch> OperatorHands::Touching(const OperatorState &s) {
  std::vector<Touch> out;
  SceneKind kind;
  switch (s.pose) {
    case OperatorPose::kAway: return out;
    case OperatorPose::kResting:
    case OperatorPose::kRolling: kind = SceneKind::kFlatFinger; break;
    case OperatorPose::kLeftFour: kind = SceneKind::kSlapLeft; break;
    case OperatorPose::kThumbs: kind = SceneKind::kTwoThumbs; break;
    case OperatorPose::kRightFour: kind = SceneKind::kSlapRight; break;
    default: return out;
  }
  for (const PlacedFinger &f : Hand(kind)) {
    ImpressionParams base = f.base;
    if (s.pose == OperatorPose::kRolling) WidenForRolling(&base, *f.finger, width_);
    ImpressionParams p = Pressed(base, 1.0f);
    if (s.pose == OperatorPose::kRolling) RollBand(&p, base, float(s.phase) / float(kRollPhases - 1));
    out.push_back({f.finger.get(), p});
  }
  return out;
}

}  // namespace belnor::sim
