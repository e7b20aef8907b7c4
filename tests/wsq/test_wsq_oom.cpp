// Out of memory in the codec's adapters and in FP_Decompress: with each
// allocation of the call failing in turn, every call returns its failure code
// or its full result, and the process goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "fail_alloc_sweep.h"
#include "fp_wsq.h"
#include "fplib.h"
#include "synthetic_print.h"
#include "wsq_test_util.h"

using wsqtest::Bytes;

namespace {

// Small, so that sweeping every allocation stays quick under the sanitizers.
constexpr int kW = 64, kH = 48;

Bytes Stream() {
  const Bytes px = wsqtest::SyntheticPrint(kW, kH);
  Bytes out(kW * kH);
  int cap = int(out.size());
  EXPECT_EQ(fp_wsq_encode(px.data(), int(px.size()), kW, kH, out.data(), &cap, 0.75f), 1);
  out.resize(size_t(cap));
  return out;
}

}  // namespace

TEST(OutOfMemory, AdaptersReturnTheirFailureCodes) {
  const Bytes px = wsqtest::SyntheticPrint(kW, kH);
  const Bytes stream = Stream();
  Bytes decoded(px.size());
  ASSERT_EQ(fp_wsq_decode(stream.data(), int(stream.size()), decoded.data(), int(decoded.size())), 1);
  wsqtest::StderrCapture quiet;
  // The buffers exist before the sweep: only the calls' own allocations fail.
  Bytes out(kW * kH);

  long points = SweepAllocFailures([&] {
    int cap = int(out.size());
    const int r = fp_wsq_encode(px.data(), int(px.size()), kW, kH, out.data(), &cap, 0.75f);
    if (r == 1) {
      EXPECT_TRUE(size_t(cap) == stream.size() && std::equal(stream.begin(), stream.end(), out.begin()));
    } else {
      EXPECT_EQ(r, 4);
    }
  });
  EXPECT_GT(points, 1);

  points = SweepAllocFailures([&] {
    std::fill(out.begin(), out.end(), 0);
    const int r = fp_wsq_decode(stream.data(), int(stream.size()), out.data(), int(out.size()));
    if (r == 1) {
      EXPECT_EQ(out, decoded);
    } else {
      EXPECT_EQ(r, 2);
    }
  });
  EXPECT_GT(points, 1);

  // The size query reads only the header, and its comment.
  points = SweepAllocFailures([&] {
    int w = 0, h = 0, ppi = 0;
    const int r = fp_wsq_decode_dims(stream.data(), int(stream.size()), nullptr, 0, &w, &h);
    if (r == 1) {
      EXPECT_EQ(w * h, kW * kH);
    } else {
      EXPECT_EQ(r, 2);
    }
    const int info = fp_wsq_info(stream.data(), int(stream.size()), &w, &h, &ppi);
    if (info == 0) {
      EXPECT_EQ(ppi, 500);
    } else {
      EXPECT_EQ(info, -1);
    }
  });
  EXPECT_GT(points, 1);
}

TEST(OutOfMemory, DecompressReturnsNotEnoughMemory) {
  ASSERT_EQ(FP_Begin(), FP_OK);
  const Bytes px = wsqtest::SyntheticPrint(FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT);
  Bytes container(FP_COMPRESSED_SIZE), decoded(FP_IMAGE_SIZE);
  char message[256];
  ASSERT_EQ(FP_Compress(0, 1, 1, const_cast<uint8_t *>(px.data()), 10, container.data(), message), FP_OK);
  ASSERT_EQ(FP_Decompress(container.data(), decoded.data(), message), FP_OK);
  wsqtest::StderrCapture quiet;
  Bytes out(FP_IMAGE_SIZE);
  const long points = SweepAllocFailures([&] {
    std::fill(out.begin(), out.end(), 0xEE);
    std::memset(message, 0, sizeof message);
    const int r = FP_Decompress(container.data(), out.data(), message);
    if (r == FP_OK) {
      EXPECT_EQ(out, decoded);
    } else {
      EXPECT_EQ(r, FP_ERR_MEMORY);
      EXPECT_STREQ(message, "Not enough memory");
    }
  });
  EXPECT_GT(points, 1);
  FP_End();
}
