/* The allocation hooks behind alloc_count.h: the bench binary defines malloc and its kin, so
 * every shared object in the process, Mesa included, allocates through here; each call is
 * counted while counting is on and passed to glibc's own allocator. */
#define _GNU_SOURCE
#include <errno.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stddef.h>

#include "bench/alloc_hook.h"

extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* pointer, size_t size);
extern void __libc_free(void* pointer);
extern void* __libc_memalign(size_t alignment, size_t size);

static atomic_int on;
static pthread_t counting_thread;
static atomic_ullong new_count, malloc_this, malloc_other;
static void* callers[ALLOC_HOOK_CALLERS];
static unsigned char caller_is_new[ALLOC_HOOK_CALLERS];
static atomic_uint caller_count;

void alloc_hook_begin(void) {
    counting_thread = pthread_self();
    atomic_store(&new_count, 0);
    atomic_store(&malloc_this, 0);
    atomic_store(&malloc_other, 0);
    atomic_store(&caller_count, 0);
    atomic_store(&on, 1);
}

void alloc_hook_end(struct alloc_hook_result* result) {
    atomic_store(&on, 0);
    result->operator_new = atomic_load(&new_count);
    result->malloc_this = atomic_load(&malloc_this);
    result->malloc_other = atomic_load(&malloc_other);
    const unsigned count = atomic_load(&caller_count);
    result->caller_count = count < ALLOC_HOOK_CALLERS ? count : ALLOC_HOOK_CALLERS;
    result->callers = callers;
    result->caller_is_new = caller_is_new;
}

void alloc_hook_note(void* caller, int is_new) {
    if (!atomic_load_explicit(&on, memory_order_relaxed)) return;
    if (!pthread_equal(pthread_self(), counting_thread)) {
        atomic_fetch_add_explicit(&malloc_other, 1, memory_order_relaxed);
        return;
    }
    atomic_fetch_add_explicit(is_new ? &new_count : &malloc_this, 1, memory_order_relaxed);
    const unsigned slot = atomic_fetch_add_explicit(&caller_count, 1, memory_order_relaxed);
    if (slot < ALLOC_HOOK_CALLERS) {
        callers[slot] = caller;
        caller_is_new[slot] = (unsigned char)is_new;
    }
}

void* malloc(size_t size) {
    alloc_hook_note(__builtin_return_address(0), 0);
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
    alloc_hook_note(__builtin_return_address(0), 0);
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) {
    alloc_hook_note(__builtin_return_address(0), 0);
    return __libc_realloc(pointer, size);
}

void free(void* pointer) { __libc_free(pointer); }

void* memalign(size_t alignment, size_t size) {
    alloc_hook_note(__builtin_return_address(0), 0);
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
    alloc_hook_note(__builtin_return_address(0), 0);
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, size_t alignment, size_t size) {
    alloc_hook_note(__builtin_return_address(0), 0);
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* pointer = __libc_memalign(alignment, size);
    if (!pointer) return ENOMEM;
    *result = pointer;
    return 0;
}
