/* Preloaded into kavex-view by tools/measure-window: counts the program's frames (each ends in
 * one glFlush) and, on SIGUSR1, writes "FRAMES CPU_NS" (the whole process's CPU time) on stderr,
 * so CPU per frame can be taken between two samples of a running window. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

static volatile long frames;

static void report(int signal_number) {
    (void)signal_number;
    struct timespec cpu;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    char line[64];
    /* snprintf of integers only: async-signal-safe in glibc in practice, and the measuring
     * tool never signals twice at once. */
    const int length = snprintf(line, sizeof line, "%ld %lld\n", frames,
                                (long long)cpu.tv_sec * 1000000000LL + cpu.tv_nsec);
    if (write(2, line, length) < 0) return;
}

__attribute__((constructor)) static void install(void) {
    struct sigaction action = {0};
    action.sa_handler = report;
    action.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &action, NULL);
}

void glFlush(void) {
    static void (*real)(void);
    if (!real) real = (void (*)(void))dlsym(RTLD_NEXT, "glFlush");
    ++frames;
    real();
}
