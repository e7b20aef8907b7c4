// NISTCOM attribute lists: an ordered list of name/value pairs (the value
// may be absent), its text form and the rules that build it for a stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "byte_io.h"

namespace wsq {

struct Fet {
  int capacity = 0;
  std::vector<std::string> names;
  std::vector<std::optional<std::string>> values;
  int Count() const { return int(names.size()); }
};

using FetPtr = std::unique_ptr<Fet>;
using FetValue = std::optional<std::string>;

constexpr size_t kMaxFetString = 511;  // longest name or value in a parsed text
constexpr const char kNistComPrefix[] = "NIST_COM";
constexpr size_t kNistComPrefixLength = 8;

int allocfet_ret(FetPtr *out, int capacity);
int reallocfet_ret(FetPtr *fet, int capacity);
void freefet(FetPtr *fet);
// 1 found (value copied, absent for an entry without one), 0 not found.
int lookupfet(FetValue *value, const std::string &name, const Fet &fet);
int extractfet_ret(FetValue *value, const std::string &name, const Fet &fet);
int updatefet_ret(const std::string &name, const char *value, Fet &fet);
int fet2string(std::string *out, const Fet &fet);
// The text ends at its first NUL, if any.
int string2fet(FetPtr *out, std::string_view text);
int combine_nistcom(FetPtr *fet, int width, int height, int depth, int ppi, int lossy);
int combine_wsq_nistcom(FetPtr *fet, int width, int height, int depth, int ppi, int lossy, float bitRate);

// Writes the NISTCOM comment and, for a caller text that is not NISTCOM, a
// second comment with that text.
int putc_nistcom_wsq(const char *comment, int width, int height, int depth, int ppi, int lossy,
                     float bitRate, OutBuffer &out);
// Finds the NISTCOM comment before the first SOB; *fet stays empty without one.
int getc_nistcom_wsq(FetPtr *fet, const uint8_t *stream, size_t length);
// PPI of the NISTCOM comment, -1 when there is none or it is unusable.
int getc_ppi_wsq(int *ppi, const uint8_t *stream, size_t length);

}  // namespace wsq
