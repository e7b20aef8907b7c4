// Nothing thrown leaves the C interface: an allocation failure (or any other
// exception) inside an export becomes that export's failure code.
#pragma once

namespace belnor {

template <class Body>
int FailureOnThrow(int failure, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

}  // namespace belnor
