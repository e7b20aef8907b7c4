#include "wsq_test_util.h"

#include <fstream>
#include <functional>

#include "byte_io.h"
#include "filters.h"
#include "segment_writers.h"

namespace wsqtest {

namespace {

Bytes Written(const std::function<int(wsq::OutBuffer &)> &write) {
  Bytes buf(4096);
  wsq::OutBuffer out{buf.data(), buf.size(), 0};
  EXPECT_EQ(write(out), 0);
  buf.resize(out.fill);
  return Bytes(buf.begin() + 4, buf.end());  // drop marker and length
}

}  // namespace

Bytes DttBody() {
  return Written([](wsq::OutBuffer &out) {
    return wsq::putc_transform_table(wsq::kLoFilt, wsq::kLoFiltLength, wsq::kHiFilt, wsq::kHiFiltLength, out);
  });
}

Bytes DqtBody(float q0, float z0) {
  return Written([&](wsq::OutBuffer &out) {
    wsq::QuantizerParams p;
    p.q[0] = q0;
    p.z[0] = z0;
    return wsq::putc_quantization_table(p, out);
  });
}

Bytes SofBody(unsigned width, unsigned height, unsigned mShiftScale, unsigned mShift, unsigned rScaleScale,
              unsigned rScale) {
  Builder b;
  b.u8(0).u8(255).u16(height).u16(width).u8(mShiftScale).u16(mShift).u8(rScaleScale).u16(rScale).u8(0).u16(0);
  return b.b;
}

Bytes HeaderStream(unsigned width, unsigned height, const std::string &nistcom) {
  Builder b;
  b.u16(0xFFA0);
  if (!nistcom.empty()) b.comment(nistcom);
  b.segment(0xFFA4, DttBody()).segment(0xFFA5, DqtBody()).segment(0xFFA2, SofBody(width, height));
  b.segment(0xFFA3, {0});
  return b.b;
}

void WriteFile(const std::string &path, const Bytes &data) {
  std::string name = path;
  for (char &c : name)
    if (c == ' ') c = '_';
  std::ofstream f(name, std::ios::binary);
  f.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
}

}  // namespace wsqtest
