/* The allocation hooks (C, beside the malloc they replace) as alloc_count.cpp sees them. */
#ifndef KAVEX_BENCH_ALLOC_HOOK_H
#define KAVEX_BENCH_ALLOC_HOOK_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ALLOC_HOOK_CALLERS 65536

struct alloc_hook_result {
    unsigned long long operator_new;
    unsigned long long malloc_this;
    unsigned long long malloc_other;
    /* Return addresses of this thread's allocations, and which of them were operator new. */
    unsigned caller_count;
    void* const* callers;
    const unsigned char* caller_is_new;
};

/* Starts counting; the calling thread is "this" thread. */
void alloc_hook_begin(void);
void alloc_hook_end(struct alloc_hook_result* result);
/* Counts one allocation while counting is on; is_new for operator new. */
void alloc_hook_note(void* caller, int is_new);
void* __libc_malloc(size_t size);

#ifdef __cplusplus
}
#endif
#endif
