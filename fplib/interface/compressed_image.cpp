#include "compressed_image.h"

#include <cstring>

#include "crc8.h"
#include "fp_state.h"
#include "fp_wsq.h"
#include "fplib.h"

namespace fplib {

uint8_t containerKindCode(int kind) {
  if (kind >= 1 && kind <= 3) return uint8_t(kind);
  return kind == 4 ? 9 : 0;
}

namespace {

void SetMessage(char *message, const char *text) {
  if (message) std::strcpy(message, text);
}

}  // namespace

}  // namespace fplib

using namespace fplib;

extern "C" int FP_Compress(int scannerCode, int kind, int fingerCode, unsigned char *image, int ratio,
                           unsigned char *out, char *message) {
  if (!image || !out || !message || ratio < 1 || ratio > 50) {
    SetMessage(message, "Invalid parameter.");
    return FP_ERR_PARAM;
  }
  std::memset(out, 0, kContainerSize);
  if (!IsInitialised()) {
    SetMessage(message, "Need call Fp_Begin first.");
    return FP_ERR_FAIL;
  }
  if (ratio * kMaxStream < FP_IMAGE_SIZE) SetMessage(message, "Not enough memory");

  int capacity = kMaxStream;
  AcquireLibraryLock();
  const float rate = 7.5f / float(ratio);
  int r = fp_wsq_encode(image, FP_IMAGE_SIZE, FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT, out + kStreamOffset, &capacity, rate);
  if (r == 5) {
    const float retry = rate * float(kMaxStream) / float(capacity) * 0.9f;
    r = fp_wsq_encode(image, FP_IMAGE_SIZE, FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT, out + kStreamOffset, &capacity, retry);
  }
  ReleaseLibraryLock();

  int result = FP_OK, length = 0;
  if (r == 1 && capacity <= kMaxStream) {
    length = capacity;
  } else if (r == 1) {
    SetMessage(message, "Data of compressed is larger than 20457.");
    result = FP_ERR_FAIL;
    capacity = kMaxStream;
  } else {
    SetMessage(message, "Not enough memory.");
    result = FP_ERR_MEMORY;
  }
  out[0] = kContainerMagic;
  out[1] = 1;
  out[2] = uint8_t(scannerCode);
  out[3] = 18;
  out[4] = containerKindCode(kind);
  out[5] = uint8_t(fingerCode);
  std::memset(out + 6, 0xFF, 14);
  out[20] = uint8_t(length >> 8);
  out[21] = uint8_t(length & 0xFF);
  out[kStreamOffset + size_t(capacity)] = minutiae::crc8(out, kStreamOffset + size_t(capacity));
  return result;
}

extern "C" int FP_Decompress(unsigned char *in, unsigned char *image, char *message) {
  if (!in || !image || !message) {
    SetMessage(message, "Invalid parameter");
    return FP_ERR_PARAM;
  }
  std::memset(image, 0, FP_IMAGE_SIZE);
  if (!IsInitialised()) {
    SetMessage(message, "Need call Fp_Begin first.");
    return FP_ERR_FAIL;
  }
  if (in[0] != kContainerMagic) {
    SetMessage(message, "Not compressed image data");
    return FP_ERR_FAIL;
  }
  const int length = in[20] * 256 + in[21];
  if (length < 1 || length > kMaxStream) {
    SetMessage(message, "compressed image data length error.");
    return FP_ERR_FAIL;
  }
  const uint8_t stored = in[kStreamOffset + size_t(length)];
  if (stored != minutiae::crc8(in, kStreamOffset + size_t(length)) &&
      stored != minutiae::crc8(in + kStreamOffset, size_t(length))) {
    SetMessage(message, "CRC8 check error.");
    return FP_ERR_FAIL;
  }
  AcquireLibraryLock();
  const int r = fp_wsq_decode(in + kStreamOffset, int(kContainerSize - kStreamOffset), image, FP_IMAGE_SIZE);
  ReleaseLibraryLock();
  if (r != 1) {
    SetMessage(message, "Not enough memory");
    return FP_ERR_MEMORY;
  }
  SetMessage(message, "Success.");
  return FP_OK;
}
