#include "platform/runtime/start.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

#include "platform/runtime/settings.h"

namespace {

std::terminate_handler next_handler;

// Memory that runs out inside a library, as the GL driver's shader compiler throws
// std::bad_alloc while a frame is drawn, or while the command line is read, reaches no place
// of the program's own that could say more: one line and status 1 rather than an abort and a
// core. Exit handlers are skipped, since a library may be in the middle of its work.
[[noreturn]] void on_terminate() {
    try {
        if (const std::exception_ptr exception = std::current_exception())
            std::rethrow_exception(exception);
    } catch (const std::bad_alloc&) {
        fprintf(stderr, "%s: out of memory\n", program_invocation_short_name);
        _exit(1);
    } catch (...) {
    }
    next_handler();
    abort();
}

}  // namespace

void start_platform(int argc, char** argv) {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) open("/dev/null", O_RDWR);  // takes fd
    if (std::get_terminate() != on_terminate) next_handler = std::set_terminate(on_terminate);
    read_settings(argc, argv);
}
