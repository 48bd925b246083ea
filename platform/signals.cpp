#include "platform/signals.h"

#include <initializer_list>

namespace {

volatile sig_atomic_t close_requested = 0;

void on_close_signal(int) { close_requested = 1; }

}  // namespace

void start_signals() {
    route_close_signals(nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

bool take_close_request() {
    if (!close_requested) return false;
    close_requested = 0;
    return true;
}

void route_close_signals(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler ? handler : on_close_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a write of a picture is never cut short by a close signal
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old;
        // Ignored from the start (nohup) stays ignored: nothing here ever sets SIG_IGN.
        if (sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
            sigaction(signal_number, &action, nullptr);
    }
}

signals_held::signals_held() {
    sigset_t held;
    sigfillset(&held);
    // A fault's signal cannot wait: the kernel would end the process at once.
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) sigdelset(&held, fault);
    sigprocmask(SIG_BLOCK, &held, &previous_);
}

signals_held::~signals_held() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
