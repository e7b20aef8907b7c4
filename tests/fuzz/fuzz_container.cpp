// Fuzz target: the compressed-image container through FP_Decompress. An
// input shorter than the container gets the checksum its length field asks
// for, so that the stream inside is reached; a full-size input is taken as
// it stands. A decoded image must compress and decompress again.
#include <cstdint>
#include <cstdlib>

#include "compressed_image.h"
#include "crc8.h"
#include "fplib.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::DiscardStepLog();
  return FP_Begin() == FP_OK ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using fplib::kContainerSize;
  using fplib::kStreamOffset;
  std::vector<uint8_t> in = fuzz::Buffer(data, size, 0, kContainerSize);
  if (size < kContainerSize) {
    const size_t length = size_t(in[20]) * 256 + in[21];
    if (length >= 1 && length <= size_t(fplib::kMaxStream))
      in[kStreamOffset + length] = minutiae::crc8(in.data(), kStreamOffset + length);
  }
  std::vector<uint8_t> image(FP_IMAGE_SIZE);
  char message[256];
  const int r = FP_Decompress(in.data(), image.data(), message);
  if (r != FP_OK) {
    if (r != FP_ERR_FAIL && r != FP_ERR_MEMORY) std::abort();
    return 0;
  }
  std::vector<uint8_t> again(FP_COMPRESSED_SIZE);
  if (FP_Compress(0, 1, 1, image.data(), 10, again.data(), message) == FP_OK &&
      FP_Decompress(again.data(), image.data(), message) != FP_OK)
    std::abort();
  return 0;
}
