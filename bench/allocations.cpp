// kavex-bench defines malloc and its kin, and operator new, so that every allocation in the
// process, Mesa's included, comes through here, is counted while counting is on, and goes on to
// glibc's own allocator.
#include "bench/allocations.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <new>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

namespace {

std::atomic<bool> counting{false};
pthread_t counting_thread;
std::atomic<unsigned long> news{0};
std::atomic<unsigned long> mallocs_here{0};
std::atomic<unsigned long> mallocs_elsewhere{0};

void note(std::atomic<unsigned long>& here) {
    if (!counting.load(std::memory_order_relaxed)) return;
    auto& count = pthread_equal(pthread_self(), counting_thread) ? here : mallocs_elsewhere;
    count.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

extern "C" void* malloc(size_t size) {
    note(mallocs_here);
    return __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size) {
    note(mallocs_here);
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* pointer, size_t size) {
    note(mallocs_here);
    return __libc_realloc(pointer, size);
}

extern "C" void* memalign(size_t alignment, size_t size) {
    note(mallocs_here);
    return __libc_memalign(alignment, size);
}

extern "C" void* aligned_alloc(size_t alignment, size_t size) {
    return memalign(alignment, size);
}

extern "C" int posix_memalign(void** result, size_t alignment, size_t size) {
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* pointer = memalign(alignment, size);
    if (!pointer) return ENOMEM;
    *result = pointer;
    return 0;
}

extern "C" void free(void* pointer) { __libc_free(pointer); }

void* operator new(size_t size) {
    note(news);
    if (void* pointer = __libc_malloc(size ? size : 1)) return pointer;
    throw std::bad_alloc();
}

void operator delete(void* pointer) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, size_t) noexcept { __libc_free(pointer); }

void start_counting() {
    counting_thread = pthread_self();
    news = 0;
    mallocs_here = 0;
    mallocs_elsewhere = 0;
    counting = true;
}

allocation_counts stop_counting() {
    counting = false;
    return {news, mallocs_here, mallocs_elsewhere};
}
