#include "platform/runtime/signals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>

#include "platform/runtime/errors.h"
#include "platform/runtime/files.h"

namespace {

// What the signal thread shares. Made once and never freed: the thread may still use it while
// the process exits.
struct shared_state {
    sigset_t taken;  // the signals the signal thread takes
    std::mutex lock;
    std::condition_variable names_gone;
    int temporary_names = 0;
    bool ending = false;  // a signal that ends the process waits for the names to go
};

shared_state& shared() {
    static auto* state = new shared_state;
    return *state;
}

std::atomic<bool> close_requested{false};
std::atomic<bool> close_at_once{false};
std::atomic<const stuck_wait*> current_wait{nullptr};
std::atomic<void (*)()> last_words{nullptr};

// Holds the signal thread until no file has a temporary name, and every other thread after
// that before it makes one.
std::unique_lock<std::mutex> no_temporary_names() {
    std::unique_lock<std::mutex> hold(shared().lock);
    shared().names_gone.wait(hold, [] { return shared().temporary_names == 0; });
    return hold;
}

// Ends the process where it cannot close in the orderly way: the record's last words, and the
// line unless stderr would block (a reader that stopped reading).
[[noreturn]] void end_now(int status, const std::string& line) {
    const auto hold = no_temporary_names();
    if (auto words = last_words.load()) words();
    pollfd err{error_descriptor(), POLLOUT, 0};
    if (!line.empty() && poll(&err, 1, 0) == 1 && (err.revents & POLLOUT))
        write_all(err.fd, line.data(), line.size());
    _exit(status);
}

[[noreturn]] void give_up() {
    const stuck_wait* wait = current_wait.load();
    end_now(wait ? wait->status : 1, std::string(program_invocation_short_name) +
                                         ": gave up waiting " +
                                         (wait ? wait->what : "for the program to close") + "\n");
}

// Ends the process by the signal, as its default action does.
[[noreturn]] void end_by(int number) {
    {
        const std::lock_guard<std::mutex> hold(shared().lock);
        shared().ending = true;
    }
    const auto hold = no_temporary_names();
    signal(number, SIG_DFL);
    sigset_t just;
    sigemptyset(&just);
    sigaddset(&just, number);
    raise(number);  // waits on this thread until unblocked
    pthread_sigmask(SIG_UNBLOCK, &just, nullptr);
    _exit(128 + number);  // not reached
}

bool asks_to_close(int number) { return number == SIGINT || number == SIGTERM || number == SIGHUP; }

// The signal thread. After a close signal, the program has a second to end on its own.
void* take_signals(void*) {
    timespec deadline{};
    for (bool closing = false;;) {
        int number;
        if (closing) {
            timespec now, left;
            clock_gettime(CLOCK_MONOTONIC, &now);
            const long nanoseconds = (deadline.tv_sec - now.tv_sec) * 1000000000L +
                                     deadline.tv_nsec - now.tv_nsec;
            if (nanoseconds <= 0) give_up();
            left = {nanoseconds / 1000000000L, nanoseconds % 1000000000L};
            number = sigtimedwait(&shared().taken, nullptr, &left);
            if (number < 0 && errno == EAGAIN) give_up();
        } else {
            number = sigwaitinfo(&shared().taken, nullptr);
        }
        if (number < 0) continue;  // interrupted
        if (!asks_to_close(number)) end_by(number);
        if (close_at_once) end_now(1, "");
        // A repeat waits out the first one's second: `timeout` and group kills send a signal
        // twice at once, and a program that is closing normally must still end with status 0.
        if (closing) continue;
        close_requested = true;
        closing = true;
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += 1;
    }
}

// A child process (the one SDL forks to show a box, a program it runs) starts as a fresh
// process does.
void unblock_in_child() { pthread_sigmask(SIG_UNBLOCK, &shared().taken, nullptr); }

pid_t signals_pid;  // the process whose thread takes the signals, not a child forked later

// At a normal exit, a signal that ends the process and was sent before it ends the process as
// it would have at once: the signal thread may not have run yet, or waits on a temporary name.
void end_by_signal_sent() {
    if (getpid() != signals_pid) return;
    sigset_t pending;
    sigpending(&pending);
    bool sent;
    {
        const std::lock_guard<std::mutex> hold(shared().lock);
        sent = shared().ending;
    }
    for (int number = 1; number < NSIG && !sent; ++number)
        sent = !asks_to_close(number) && sigismember(&shared().taken, number) == 1 &&
               sigismember(&pending, number) == 1;
    while (sent) pause();  // until the signal thread ends the process
}

}  // namespace

void start_signals() {
    static bool started = false;
    if (started) return;
    started = true;
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    // Ignored by a launcher, it would reach the program's children and keep their parent from
    // waiting for them (SDL's message box takes that as a failure and shows a second box).
    signal(SIGCHLD, SIG_DFL);
    sigset_t& taken = shared().taken;
    sigfillset(&taken);
    // Signals that stop the program or are ignored by default, faults (they cannot wait) and
    // an abort are left to the kernel.
    for (int number : {SIGKILL, SIGSTOP, SIGTSTP, SIGTTIN, SIGTTOU, SIGCONT, SIGCHLD, SIGURG,
                       SIGWINCH, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT})
        sigdelset(&taken, number);
    for (int number = 1; number < NSIG; ++number) {
        struct sigaction old;
        if (sigismember(&taken, number) == 1 &&
            (sigaction(number, nullptr, &old) != 0 || old.sa_handler != SIG_DFL))
            sigdelset(&taken, number);
    }
    pthread_sigmask(SIG_BLOCK, &taken, nullptr);
    pthread_atfork(nullptr, nullptr, unblock_in_child);
    signals_pid = getpid();
    atexit(end_by_signal_sent);
    pthread_t thread;
    if (const int error = pthread_create(&thread, nullptr, take_signals, nullptr))
        fail(1, "cannot start: %s", strerror(error));
    pthread_detach(thread);
}

bool take_close_request() { return close_requested.exchange(false); }

void set_close_at_once(bool at_once) { close_at_once = at_once; }

waiting_on::waiting_on(const stuck_wait& wait) : outer_(current_wait.exchange(&wait)) {}

waiting_on::~waiting_on() { current_wait = outer_; }

void at_give_up(void (*words)()) { last_words = words; }

signals_held::signals_held() {
    const std::lock_guard<std::mutex> hold(shared().lock);
    ++shared().temporary_names;
}

signals_held::~signals_held() {
    std::unique_lock<std::mutex> hold(shared().lock);
    --shared().temporary_names;
    shared().names_gone.notify_all();
    // A signal that waited for this ends the process: the program must not end first.
    while (shared().ending) shared().names_gone.wait(hold);
}
