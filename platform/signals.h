// The signals that ask the program to close, the ones that must not end it, and the moments
// when every signal that can wait must wait.
#pragma once

#include <signal.h>

// SIGINT, SIGTERM and SIGHUP ask the program to close, unless they were ignored when it
// started (nohup); SIGPIPE is ignored, so a reader of stderr that went away never ends a run;
// SIGXFSZ is ignored, so a file-size limit is an ordinary write error (EFBIG).
void start_signals();

// True once per close signal received since the last call.
bool take_close_request();

// Sends SIGINT, SIGTERM and SIGHUP to the handler instead, except those that were ignored when
// the program started; a null handler turns them back into close requests.
void route_close_signals(void (*handler)(int));

// While it exists, every signal that can be caught and does not report a fault waits; it is
// delivered when this ends. For the moments when a file exists under a temporary name.
class signals_held {
public:
    signals_held();
    ~signals_held();
    signals_held(const signals_held&) = delete;
    signals_held& operator=(const signals_held&) = delete;

private:
    sigset_t previous_;
};
