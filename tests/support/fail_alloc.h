/* Test-only allocation failure: linked into a test program, it stands in for
   the process's allocator (malloc, calloc, realloc, the aligned forms and every
   global operator new) and forwards to the real one, except that it can make
   one chosen allocation fail. */
#ifndef BELNOR_TESTS_FAIL_ALLOC_H
#define BELNOR_TESTS_FAIL_ALLOC_H

#ifdef __cplusplus
extern "C" {
#endif

enum { FAIL_ALLOC_THIS_THREAD = 0, FAIL_ALLOC_ANY_THREAD = 1 };

/* The n-th allocation from now (1 = the next) fails: malloc and its kin return
   NULL, operator new throws std::bad_alloc. THIS_THREAD counts only the
   calling thread's allocations, ANY_THREAD every thread's. */
void fail_alloc_arm(long n, int scope);
void fail_alloc_disarm(void);
/* 1 once the armed failure has been injected (until the next arm). */
int fail_alloc_fired(void);

#ifdef __cplusplus
}
#endif

#endif
