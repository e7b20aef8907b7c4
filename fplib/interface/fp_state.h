// Process-wide state of the library: the initialised flag, the host's quality
// callback and the library lock (which guards nothing: the library is used
// from one thread at a time).
#pragma once

#include "fplib.h"

namespace fplib {

bool IsInitialised();
void SetInitialised(bool on);
OnGetQualityScore QualityCallback();
void SetQualityCallback(OnGetQualityScore callback);

// Mark where state and the codec would be guarded.
void CreateLibraryLock();
void AcquireLibraryLock();
void ReleaseLibraryLock();
void DestroyLibraryLock();

}  // namespace fplib
