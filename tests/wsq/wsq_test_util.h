// Small helpers shared by the WSQ tests: a byte-string builder for hand-made
// streams and a guard that swallows and returns standard error.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace wsqtest {

using Bytes = std::vector<uint8_t>;

struct Builder {
  Bytes b;
  Builder &u8(unsigned v) {
    b.push_back(uint8_t(v));
    return *this;
  }
  Builder &u16(unsigned v) { return u8(v >> 8).u8(v); }
  Builder &u32(uint32_t v) { return u16(v >> 16).u16(v & 0xFFFF); }
  Builder &raw(std::initializer_list<unsigned> bytes) {
    for (unsigned v : bytes) u8(v);
    return *this;
  }
  Builder &raw(const Bytes &bytes) {
    b.insert(b.end(), bytes.begin(), bytes.end());
    return *this;
  }
  Builder &text(const std::string &s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  // Marker, length (body + 2) and body.
  Builder &segment(unsigned marker, const Bytes &body) { return u16(marker).u16(unsigned(body.size() + 2)).raw(body); }
  Builder &comment(const std::string &s) { return segment(0xFFA8, Bytes(s.begin(), s.end())); }
};

// Captures stderr for the lifetime of the object.
class StderrCapture {
 public:
  StderrCapture() { testing::internal::CaptureStderr(); }
  ~StderrCapture() {
    if (!taken_) testing::internal::GetCapturedStderr();
  }
  std::string Take() {
    taken_ = true;
    return testing::internal::GetCapturedStderr();
  }

 private:
  bool taken_ = false;
};

// Bodies of well-formed segments as our encoder writes them.
Bytes DttBody();                               // the 9/7 pair
Bytes DqtBody(float q0 = 0.0f, float z0 = 0.0f);  // one step on subband 0 only
Bytes SofBody(unsigned width, unsigned height, unsigned mShiftScale = 0, unsigned mShift = 128,
              unsigned rScaleScale = 0, unsigned rScale = 1);
// A stream that stops after the frame header's SOB: SOI DTT DQT SOF SOB.
Bytes HeaderStream(unsigned width = 16, unsigned height = 16, const std::string &nistcom = "");

void WriteFile(const std::string &path, const Bytes &data);

}  // namespace wsqtest
