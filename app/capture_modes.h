// The six capture modes, numbered as the radio buttons request them.
#pragma once

struct CaptureMode {
  int width, height;
  int rollMode;                 // 3 rolled, 4 flat
  unsigned char lamps[3];       // left four, two thumbs, right four
};

constexpr int kCaptureModeCount = 6;
constexpr int kRollMode = 3, kFlatMode = 4;
// The four-finger and two-thumb modes, the ones Split cuts, are this wide.
constexpr int kSlapWidth = 1600;

// Mode 0..5; null outside.
const CaptureMode *CaptureModeAt(int index);
