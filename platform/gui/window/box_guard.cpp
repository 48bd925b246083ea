// The guard around a modal box: signals end the program while it waits in the box, and the
// process that shows the box goes with it.
#include "platform/gui/window/box_guard.h"

#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "platform/runtime/signals.h"

namespace {

// Set only while a box is up, so that any other fork is left alone.
volatile sig_atomic_t box_up = 0;
pid_t box_owner = 0;

// In the child that SDL forks to show the box: killed when the program ends, and gone at once
// if the program ended before this line ran.
void die_with_owner() {
    if (!box_up) return;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != box_owner) _exit(1);
}

}  // namespace

void while_box_is_up(const std::function<void()>& show) {
    static const int registered = pthread_atfork(nullptr, nullptr, die_with_owner);
    (void)registered;
    box_owner = getpid();
    box_up = 1;
    set_close_at_once(true);
    show();
    set_close_at_once(false);
    box_up = 0;
}
