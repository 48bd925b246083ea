// Heap allocations counted between two calls: operator new (the program and the platform
// layer allocate through it) and, apart, the C allocator's calls (Mesa's) on the counting
// thread and on others.
#pragma once

struct allocation_counts {
    unsigned long operator_new;
    unsigned long malloc_here;
    unsigned long malloc_elsewhere;
};

void start_counting();
allocation_counts stop_counting();
