#include "platform/runtime.h"

#include <fcntl.h>
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
