// Counts heap allocations in a window of the benchmark's run: the global operator new (the
// C++ code of the program and the platform layer allocates through it, and so does LLVM),
// and every malloc-family call in the process, Mesa's included.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct alloc_counts {
    uint64_t operator_new = 0;   // any thread
    uint64_t malloc_this = 0;    // malloc, calloc, realloc, memalign... on the counting thread
    uint64_t malloc_other = 0;   // the same on other threads (llvmpipe's rasterizer threads)
    // This thread's allocations by the shared object that called the allocator, most first;
    // operator new calls are listed as "operator new from <object>".
    std::vector<std::pair<std::string, uint64_t>> callers;
};

// Starts counting on the calling thread (and all others); counts start at zero.
void alloc_counting_begin();
alloc_counts alloc_counting_end();
