// Failure reporting of the codec: one line on standard error per failure.
#pragma once

namespace wsq {

// Prints the formatted line to stderr and returns code (negative).
int Fail(int code, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Prints the formatted warning to stderr.
void Warn(const char *format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace wsq
