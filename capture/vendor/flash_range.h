// Bounds of flash accesses, computed without wrapping.
#pragma once

#include <cstdint>

namespace belnor {

// True when [address, address + length) ends at or below bound.
constexpr bool RangeEndsWithin(uint32_t address, uint32_t length, uint32_t bound) {
  return length <= bound && address <= bound - length;
}

// True when [address, address + length) lies inside [base, bound).
constexpr bool RangeInside(uint32_t address, uint32_t length, uint32_t base, uint32_t bound) {
  return address >= base && RangeEndsWithin(address, length, bound);
}

}  // namespace belnor
