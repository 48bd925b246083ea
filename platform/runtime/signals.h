// The signals: the ones that ask the program to close, the ones that must not end it, and the
// moments when one that ends it must wait. A thread of the platform's own takes every signal
// whose default ends the process; all other threads, the GL driver's and SDL's included, are
// started with them blocked, so a signal never lands where nobody holds it back.
#pragma once

#include <string>

// SIGINT, SIGTERM and SIGHUP ask the program to close (take_close_request); should it still run
// a second after the first, it ends without waiting (see stuck_wait). Every other
// signal whose default ends the process ends it so, once no file has a temporary name. Signals
// ignored or handled when the program started stay as they were (nohup, a test harness); a mask
// inherited from a launcher does not matter. SIGPIPE is ignored, so a reader of stderr that went
// away never ends a run; SIGXFSZ is ignored, so a file-size limit is an ordinary write error
// (EFBIG). SIGCHLD is at its default, whatever a launcher left. Called on the program's first
// thread before any other starts; once per process.
void start_signals();

// True once per close signal received since the last call.
bool take_close_request();

// While set, a close signal ends the program at once with status 1: a modal box is up, and the
// program does not see close requests.
void set_close_at_once(bool at_once);

// What the program may wait on for ever: a display that does not answer, a reader of the record
// that stops reading.
struct stuck_wait {
    int status;        // the program's status if it gives up on the wait
    std::string what;  // completes the line "<program>: gave up waiting <what>"
};

// Marks a wait: should a close signal find the program still in it a second later, the program
// ends with the wait's status and line.
class waiting_on {
public:
    explicit waiting_on(const stuck_wait& wait);
    ~waiting_on();
    waiting_on(const waiting_on&) = delete;
    waiting_on& operator=(const waiting_on&) = delete;

private:
    const stuck_wait* outer_;
};

// Runs last when the program ends without waiting (the record's last line).
void at_give_up(void (*last_words)());

// While it exists, a file has a temporary name: a signal that ends the process waits until it is
// gone.
class signals_held {
public:
    signals_held();
    ~signals_held();
    signals_held(const signals_held&) = delete;
    signals_held& operator=(const signals_held&) = delete;
};
