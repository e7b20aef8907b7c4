// Argument checks shared by the exports.
#pragma once

namespace belnor {

// Channels are 0..8, compared as unsigned so that negatives fail too.
inline bool BadChannel(int channel) { return static_cast<unsigned>(channel) > 8; }

}  // namespace belnor
