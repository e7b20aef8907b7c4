// The NISTCOM comment of a stream: writing it, finding it, and its PPI.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "nistcom.h"
#include "segment_readers.h"
#include "segment_writers.h"
#include "wsq_error.h"

namespace wsq {

namespace {

bool IsNistCom(const char *text, size_t length) {
  return length >= kNistComPrefixLength && std::memcmp(text, kNistComPrefix, kNistComPrefixLength) == 0;
}

int PutText(const std::string &text, OutBuffer &out) {
  return putc_comment(COM_WSQ, reinterpret_cast<const uint8_t *>(text.data()), text.size(), out);
}

}  // namespace

int putc_nistcom_wsq(const char *comment, int width, int height, int depth, int ppi, int lossy,
                     float bitRate, OutBuffer &out) {
  FetPtr fet;
  const char *other = nullptr;
  if (comment && IsNistCom(comment, std::strlen(comment))) {
    if (int ret = string2fet(&fet, comment)) return ret;
  } else if (comment && comment[0]) {
    other = comment;
  }
  if (int ret = combine_wsq_nistcom(&fet, width, height, depth, ppi, lossy, bitRate)) return ret;
  std::string text;
  const int ret = fet2string(&text, *fet);
  freefet(&fet);
  if (ret) return ret;
  if (int r = PutText(text, out)) return r;
  if (other) return PutText(other, out);
  return 0;
}

int getc_nistcom_wsq(FetPtr *fet, const uint8_t *stream, size_t length) {
  fet->reset();
  InCursor in{stream, stream + length};
  uint16_t marker;
  if (int ret = getc_marker_wsq(&marker, kSoiClass, in)) return ret;
  for (;;) {
    if (int ret = getc_marker_wsq(&marker, kAnyWsq, in)) return ret;
    if (marker == SOB_WSQ) return 0;
    if (marker == COM_WSQ && in.Remaining() >= 2 + kNistComPrefixLength) {
      const uint16_t len = uint16_t((in.cur[0] << 8) | in.cur[1]);
      // Peek only inside the segment's own bytes.
      if (len >= 2 + kNistComPrefixLength &&
          IsNistCom(reinterpret_cast<const char *>(in.cur + 2), kNistComPrefixLength)) {
        std::string text;
        if (int ret = getc_comment(&text, in)) return ret;
        return string2fet(fet, text);
      }
    }
    if (int ret = getc_skip_marker_segment(marker, in)) return ret;
  }
}

int getc_ppi_wsq(int *ppi, const uint8_t *stream, size_t length) {
  FetPtr fet;
  if (int ret = getc_nistcom_wsq(&fet, stream, length)) return ret;
  *ppi = -1;
  if (!fet) return 0;
  FetValue value;
  // A NISTCOM comment without PPI, or with an unusable one, leaves the ppi unknown.
  if (!lookupfet(&value, "PPI", *fet) || !value) return 0;
  errno = 0;
  char *end = nullptr;
  const long v = std::strtol(value->c_str(), &end, 10);
  if (errno == ERANGE || v > INT_MAX || v < INT_MIN) return 0;
  *ppi = int(v);
  return 0;
}

}  // namespace wsq
