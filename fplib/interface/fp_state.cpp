#include "fp_state.h"

namespace fplib {

namespace {
bool g_initialised = false;
OnGetQualityScore g_qualityCallback = nullptr;
}  // namespace

bool IsInitialised() { return g_initialised; }
void SetInitialised(bool on) { g_initialised = on; }
OnGetQualityScore QualityCallback() { return g_qualityCallback; }
void SetQualityCallback(OnGetQualityScore callback) { g_qualityCallback = callback; }

void CreateLibraryLock() {}
void AcquireLibraryLock() {}
void ReleaseLibraryLock() {}
void DestroyLibraryLock() {}

}  // namespace fplib
