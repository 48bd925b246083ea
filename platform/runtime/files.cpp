#include "platform/runtime/files.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

int read_small_file(const char* path, size_t most_bytes, std::string& text) {
    // Non-blocking, so that a FIFO without a writer is refused below instead of hanging here.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    int problem = 0;
    if (fd < 0 || fstat(fd, &st) != 0)
        problem = errno;
    else if (S_ISDIR(st.st_mode))
        problem = EISDIR;
    else if (!S_ISREG(st.st_mode))
        problem = not_regular;
    text.clear();
    char buffer[65536];
    // The size counts what was read: /proc files report 0, and a file may grow meanwhile.
    while (!problem && text.size() <= most_bytes) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got > 0)
            text.append(buffer, static_cast<size_t>(got));
        else if (errno != EINTR)
            problem = errno;
    }
    if (fd >= 0) close(fd);
    return problem ? problem : text.size() > most_bytes ? too_large : 0;
}
