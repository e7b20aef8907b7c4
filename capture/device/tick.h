// Millisecond clock and sleep for every time-out of the capture library.
#pragma once

#include <cstdint>

namespace belnor {

// Milliseconds of a monotonic clock, wrapping at 2^32: only differences mean
// anything, and a wall-clock jump never ends or stretches a wait.
uint32_t GetTickMs();
void SleepMs(unsigned ms);

}  // namespace belnor
