// The step log: every line goes to standard output and is appended to the
// file "d:\vantrel.txt" in the working directory of the moment.
#pragma once

namespace fplib {

extern const char kLogFileName[];

// One line "V/\t<line> <function>] <message>"; the message is cut to fit the
// 512-byte line buffer.
void writeLogLine(const char *function, int line, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// Closes the log file kept open between lines; the next line opens it again.
void closeLogFile();

}  // namespace fplib

#define FP_LOG(function, ...) ::fplib::writeLogLine(function, __LINE__, __VA_ARGS__)
