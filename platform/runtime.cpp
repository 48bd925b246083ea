#include "platform/runtime.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/signals.h"

void start_runtime() {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) open("/dev/null", O_RDWR);  // takes fd
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
