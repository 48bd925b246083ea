#include "platform/runtime.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

#include "platform/signals.h"

namespace {

std::terminate_handler next_handler;

// Memory that runs out inside a library, as the GL driver's shader compiler throws
// std::bad_alloc while a frame is drawn, reaches no place of the program's own that could say
// more: one line and status 1 rather than an abort and a core. Exit handlers are skipped, since
// the library was left in the middle of its work.
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

void start_runtime() {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) open("/dev/null", O_RDWR);  // takes fd
    if (std::get_terminate() != on_terminate) next_handler = std::set_terminate(on_terminate);
    start_signals();
}

const char* env_value(const char* name) {
    const char* value = getenv(name);
    return value && *value ? value : nullptr;
}

int write_all(int fd, const void* data, size_t size) {
    for (auto* bytes = static_cast<const char*>(data); size > 0;) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? errno : ENOSPC;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return 0;
}

bool follow_links(std::string& path) {
    for (int hops = 0; hops < 40; ++hops) {  // the kernel's own limit
        char target[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), target, sizeof target);
        if (length < 0) return errno == EINVAL || errno == ENOENT;  // not a link, or nothing
        if (length == sizeof target) {
            errno = ENAMETOOLONG;
            return false;
        }
        const auto slash = path.rfind('/');
        path = (target[0] == '/' || slash == std::string::npos ? "" : path.substr(0, slash + 1)) +
               std::string(target, static_cast<size_t>(length));
    }
    errno = ELOOP;
    return false;
}
