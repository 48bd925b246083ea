#include "bench/alloc_count.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <new>

#include "bench/alloc_hook.h"

// The program's and the platform layer's C++ allocations all come through here.
void* operator new(size_t size) {
    alloc_hook_note(__builtin_return_address(0), 1);
    if (void* pointer = __libc_malloc(size ? size : 1)) return pointer;
    throw std::bad_alloc();
}

void operator delete(void* pointer) noexcept { free(pointer); }
void operator delete(void* pointer, size_t) noexcept { free(pointer); }

void alloc_counting_begin() { alloc_hook_begin(); }

alloc_counts alloc_counting_end() {
    alloc_hook_result raw;
    alloc_hook_end(&raw);
    alloc_counts counts;
    counts.operator_new = raw.operator_new;
    counts.malloc_this = raw.malloc_this;
    counts.malloc_other = raw.malloc_other;
    std::map<std::string, uint64_t> by_object;
    for (unsigned i = 0; i < raw.caller_count; ++i) {
        // The return address points just past the call; step back into it.
        const auto address = reinterpret_cast<uintptr_t>(raw.callers[i]) - 1;
        Dl_info info{};
        std::string object = "?";
        if (dladdr(reinterpret_cast<void*>(address), &info) && info.dli_fname) {
            object = info.dli_fname;
            object = object.substr(object.rfind('/') + 1);
        }
        ++by_object[(raw.caller_is_new[i] ? "operator new from " : "") + object];
    }
    counts.callers.assign(by_object.begin(), by_object.end());
    std::sort(counts.callers.begin(), counts.callers.end(),
              [](const auto& a, const auto& b) { return a.second > b.second; });
    return counts;
}
