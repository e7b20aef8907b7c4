// Result codes of the capture interface with their English and Chinese texts.
#pragma once

namespace belnor {

struct LivescanErrorRow {
  int code;
  const char *english;
  const char *chinese;
};

constexpr int kLivescanErrorRows = 18;
extern const LivescanErrorRow LivescanErrorTable[kLivescanErrorRows];

// The row of a code in -7..-1 or -111..-101; the row of -6 for any other code.
const LivescanErrorRow &FindErrorRow(int code);

// True for the codes that have their own row.
bool IsKnownErrorCode(int code);

}  // namespace belnor
