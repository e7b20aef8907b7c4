// Result codes of the extraction stages and matchers.
#pragma once

namespace minutiae {

enum AlgCode : int {
  ALG_OK = 0,
  ALG_NO_MEMORY = 257,
  ALG_BAD_SIZE = 258,   // wrong image size, or a record a matcher refuses
  ALG_NO_FEATURE = 259, // six or fewer minutiae
};

}  // namespace minutiae
