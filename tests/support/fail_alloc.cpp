// Stands in for the allocator by being linked into the test executable, whose
// definitions come first in symbol lookup. Behind it: a sanitizer's allocator
// where one is loaded (its entry points exist under __interceptor_ names), or
// else glibc's own.
#include "fail_alloc.h"

#include <errno.h>
#include <pthread.h>
#include <stddef.h>

#include <atomic>
#include <new>

extern "C" {
void* __interceptor_malloc(size_t) __attribute__((weak));
void* __interceptor_calloc(size_t, size_t) __attribute__((weak));
void* __interceptor_realloc(void*, size_t) __attribute__((weak));
void __interceptor_free(void*) __attribute__((weak));
void* __interceptor_memalign(size_t, size_t) __attribute__((weak));
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);
}

namespace {

void* RealMalloc(size_t n) { return __interceptor_malloc ? __interceptor_malloc(n) : __libc_malloc(n); }
void* RealCalloc(size_t n, size_t s) { return __interceptor_calloc ? __interceptor_calloc(n, s) : __libc_calloc(n, s); }
void* RealRealloc(void* p, size_t n) {
  return __interceptor_realloc ? __interceptor_realloc(p, n) : __libc_realloc(p, n);
}
void RealFree(void* p) { __interceptor_free ? __interceptor_free(p) : __libc_free(p); }
void* RealMemalign(size_t a, size_t n) {
  return __interceptor_memalign ? __interceptor_memalign(a, n) : __libc_memalign(a, n);
}

// Armed state: how many allocations remain before the failing one, and whose.
std::atomic<long> remaining{0};
std::atomic<int> any_thread{0};
std::atomic<int> fired{0};
pthread_t armed_thread;

// True when this allocation is the one to fail.
bool ShouldFail() {
  if (remaining.load(std::memory_order_acquire) <= 0) return false;
  if (!any_thread.load(std::memory_order_relaxed) && !pthread_equal(pthread_self(), armed_thread)) return false;
  if (remaining.fetch_sub(1, std::memory_order_acq_rel) != 1) return false;
  fired.store(1, std::memory_order_release);
  return true;
}

}  // namespace

extern "C" {

void fail_alloc_arm(long n, int scope) {
  fired.store(0);
  armed_thread = pthread_self();
  any_thread.store(scope == FAIL_ALLOC_ANY_THREAD);
  remaining.store(n > 0 ? n : 0, std::memory_order_release);
}

void fail_alloc_disarm(void) { remaining.store(0, std::memory_order_release); }

int fail_alloc_fired(void) { return fired.load(std::memory_order_acquire); }

void* malloc(size_t size) {
  if (ShouldFail()) {
    errno = ENOMEM;
    return nullptr;
  }
  return RealMalloc(size);
}

void* calloc(size_t n, size_t size) {
  if (ShouldFail()) {
    errno = ENOMEM;
    return nullptr;
  }
  return RealCalloc(n, size);
}

void* realloc(void* p, size_t size) {
  if (size != 0 && ShouldFail()) {
    errno = ENOMEM;
    return nullptr;
  }
  return RealRealloc(p, size);
}

void free(void* p) { RealFree(p); }

void* memalign(size_t align, size_t size) {
  if (ShouldFail()) {
    errno = ENOMEM;
    return nullptr;
  }
  return RealMemalign(align, size);
}

void* aligned_alloc(size_t align, size_t size) { return memalign(align, size); }

int posix_memalign(void** out, size_t align, size_t size) {
  if (align < sizeof(void*) || (align & (align - 1)) != 0) return EINVAL;
  void* p = memalign(align, size);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}

}  // extern "C"

// Every global operator new and delete goes through malloc and free above, so
// that a sanitizer sees one matching pair for each block.
namespace {

void* NewBlock(size_t size) {
  for (;;) {
    if (void* p = malloc(size ? size : 1)) return p;
    std::new_handler h = std::get_new_handler();
    if (!h) throw std::bad_alloc();
    h();
  }
}

void* NewAligned(size_t size, std::align_val_t align) {
  void* p = nullptr;
  size_t a = static_cast<size_t>(align);
  if (a < sizeof(void*)) a = sizeof(void*);
  if (posix_memalign(&p, a, size ? size : 1) != 0) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(size_t size) { return NewBlock(size); }
void* operator new[](size_t size) { return NewBlock(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return NewBlock(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  try {
    return NewBlock(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(size_t size, std::align_val_t align) { return NewAligned(size, align); }
void* operator new[](size_t size, std::align_val_t align) { return NewAligned(size, align); }
void* operator new(size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  try {
    return NewAligned(size, align);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  try {
    return NewAligned(size, align);
  } catch (...) {
    return nullptr;
  }
}

void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete(void* p, std::align_val_t) noexcept { free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { free(p); }
