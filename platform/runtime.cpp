// The runtime: the debug output, fatal errors, the environment, and the signals that
// ask the program to close.
#include "platform/runtime.h"

#include <signal.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "app/platform.h"

namespace {
volatile sig_atomic_t close_requested = 0;

void on_close_signal(int) { close_requested = 1; }
}  // namespace

extern "C" void printd(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
}

void fail(int status, const char* format, ...) {
    fprintf(stderr, "%s: ", program_invocation_short_name);
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
    exit(status);
}

const char* env_value(const char* name) {
    const char* value = getenv(name);
    return value && *value ? value : nullptr;
}

void install_close_signals() {
    struct sigaction action = {};
    action.sa_handler = on_close_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool take_close_request() {
    if (!close_requested) return false;
    close_requested = 0;
    return true;
}
