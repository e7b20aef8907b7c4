#include "match_fusion.h"

#include <cmath>

#include "cminutiae_record.h"
#include "ctemplate.h"
#include "fplib.h"
#include "match_tables.h"
#include "matcher_a.h"
#include "matcher_b.h"

namespace fplib {

float fuseScores(int scoreA, float scoreB) {
  const double s = std::pow(double(scoreB), 0.6000000238418579) * 0.0016276041 * double(scoreA);
  const float f = float(s);
  return f < 0.0f ? 0.0f : f > 1.0f ? 1.0f : f;
}

namespace {

// 1 with the fused score, or FP_ERR_MEMORY when either matcher ran out of memory.
int FuseMatchers(const uint8_t *record1, const uint8_t *record2, float *score) {
  *score = 0.0f;
  if (!record1 || !record2) return 1;
  const int a = matchMinutiaeA(record1, record2);
  if (a == minutiae::kMatchNoMemory) return FP_ERR_MEMORY;
  bool noMemory = false;
  const float b = ScoreMatcherB(record1, record2, &noMemory);
  if (noMemory) return FP_ERR_MEMORY;
  *score = fuseScores(a, b);
  return 1;
}

}  // namespace

float fuseMatchScores(const uint8_t *record1, const uint8_t *record2) {
  float score = 0.0f;
  FuseMatchers(record1, record2, &score);
  return score;
}

int featureMatch(const uint8_t *tmpl1, const uint8_t *tmpl2, float *score) {
  *score = 0.0f;
  // Reading tables that were never built would give garbage scores.
  if (!EnsureMatchTables()) return -1;
  uint8_t record1[kRecordSize] = {}, record2[kRecordSize] = {};
  int count1 = 0, count2 = 0;
  int r = unpackCTemplate(tmpl1, record1, &count1);
  if (r != 1) return r;
  r = unpackCTemplate(tmpl2, record2, &count2);
  if (r != 1) return r;
  return FuseMatchers(record1, record2, score);
}

}  // namespace fplib
