#include "wsq_error.h"

#include <cstdarg>
#include <cstdio>

namespace wsq {

int Fail(int code, const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  return code;
}

void Warn(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}

}  // namespace wsq
