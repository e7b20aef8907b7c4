// The reduced build's own frame check with each of its allocations failing:
// -2 or its answer, never an exception out of the library.
#include <gtest/gtest.h>

#include "fail_alloc_sweep.h"
#include "livescan_lite.h"
#include "result_codes.h"
#include "vscanner_fixture.h"

using namespace belnor;
using namespace belnor_test;

namespace {

class LiteOutOfMemory : public VScannerTest {};

TEST_F(LiteOutOfMemory, CheckFingerPress) {
  Attach("8899:1001/fps=30");
  ASSERT_EQ(InitAwaitingFirstFrame(), LS_OK);
  const long points = SweepAllocFailures([] {
    const int r = LIVESCAN_CheckFingerPress();
    // 1 or 0 (finger or not), -2, or no frame in time (-101).
    ASSERT_TRUE(r == LS_OK || r == 0 || r == LS_ERR_MEMORY || r == LS_ERR_UNKNOWN) << r;
  });
  EXPECT_GT(points, 2) << "the check allocates its frame and its analysis";
}

}  // namespace
