// The extractor's records: candidates between detection and selection, and
// the minutiae record that the templates and the matcher carry.
#pragma once
#include <cstdint>

namespace minutiae {

constexpr int kMaxCandidates = 500;
constexpr int kMaxMinutiae = 120;
constexpr uint8_t kRemoved = 255;  // candidate direction of a dropped entry

struct Minutia {
  uint16_t x;
  uint16_t y;
  uint8_t type;   // 1 ridge ending, 2 bifurcation
  uint8_t angle;  // 256 units per turn
};

struct MinutiaeRecord {
  uint16_t kind;
  uint16_t count;
  Minutia minutiae[kMaxMinutiae];
};

struct Candidate {
  int16_t x;
  int16_t y;
  uint8_t type;
  uint8_t direction;  // 240 units per turn; kRemoved marks a dropped entry
  uint8_t angle;      // 256 units, set by selection
  uint8_t spare;
};

struct CandidateList {
  int32_t count;
  Candidate entries[kMaxCandidates];
};

// Knobs that differ between the capture library's extractor and the
// algorithm library's rerun of the same stages.
struct ExtractProfile {
  int candidateCap;           // detection stops at this many candidates
  int selectCap;              // minutiae kept in the record
  bool crossLastRowFromLast;  // smoothCross5: last row from row h-1 instead of h-2
  int (*dir240)(int dx, int dy);
  int (*dir256)(int dx, int dy);
};

extern const ExtractProfile kCaptureExtract;

}  // namespace minutiae
