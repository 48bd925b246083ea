// KAVEX_RECORD: a live session written as a headless script, line by line as it happens.
#include "platform/session/record.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>

#include "platform/runtime/errors.h"
#include "platform/runtime/files.h"
#include "platform/session/script.h"
#include "platform/runtime/signals.h"

namespace {

struct record_file {
    int fd = -1;
    std::string path;
    std::string made;      // the file this run created (the link's target, for a link)
    std::string header;    // written with the first message
    bool created = false;  // by this run
    bool started = false;  // the first message has replaced the old contents
    off_t written = 0;     // bytes of whole lines
    script_writer lines;
    stuck_wait stuck;      // a write that nobody takes
};

record_file record;
// Held while the record is written, so that a close that gives up on the program knows whether
// a write is under way.
std::mutex writing;

// Cuts the file back to its whole lines, so that it still replays; a pipe or a device cannot
// be cut and keeps what it took.
bool cut_to_whole_lines() { return ftruncate(record.fd, record.written) == 0; }

// Writes all of text; false with errno set if the file takes no more.
bool write_lines(const std::string& text) {
    const waiting_on wait(record.stuck);
    if (const int error = write_all(record.fd, text.data(), text.size())) {
        cut_to_whole_lines();
        errno = error;
        return false;
    }
    record.written += static_cast<off_t>(text.size());
    return true;
}

[[noreturn]] void cannot_write(int error) {
    if (record.fd >= 0) close(record.fd);
    if (record.created && record.written == 0) unlink(record.made.c_str());  // not even a line
    record.fd = -1;
    fail(2, "cannot write the record %s: %s", quoted(record.path).c_str(), strerror(error));
}

// At exit: the redraws held back (and a close, where a close signal gave up on the program),
// or, for a session that never started, the file it made. A run that ends here rather than
// with a close has failed and said so already, so a write that fails now is not reported again.
void end_record(bool closing) {
    if (record.fd < 0) return;
    std::string rest;
    record.lines.end(rest);
    if (closing) rest += "close\n";
    if (record.started)
        write_lines(rest);
    else if (record.created)
        unlink(record.made.c_str());
    close(record.fd);
    record = record_file();
}

void end_record_at_exit() {
    const std::lock_guard<std::mutex> hold(writing);
    end_record(false);
}

// Where a close signal gave up on the program: its close too, unless a write is stuck or the
// file would not take it at once. Nothing writes the record after this.
void end_record_at_once() {
    if (!writing.try_lock() || record.fd < 0) return;
    pollfd out{record.fd, POLLOUT, 0};
    if (!record.started || (poll(&out, 1, 0) == 1 && (out.revents & POLLOUT))) end_record(true);
}

// Writes the lines that add makes of what the session received, under the lock that a close
// which gives up on the program takes, so that nothing it writes lands inside a line.
template <typename Add>
void write_record(Add add) {
    if (record.fd < 0) return;
    std::unique_lock<std::mutex> hold(writing);
    std::string text;
    int error = 0;
    try {
        if (!record.started) {
            cut_to_whole_lines();  // none yet: the old contents go
            text = record.header;
            record.started = true;
        }
        add(text);
        if (!text.empty() && !write_lines(text)) error = errno;
    } catch (const std::bad_alloc&) {
        release_reserve();
        error = ENOMEM;
    }
    hold.unlock();
    if (error) cannot_write(error);
}

// Opens the record's file, made where it is new (through a link that points nowhere yet too).
void open_file(const char* path) {
    // Non-blocking, so that a FIFO without a reader is refused instead of waited on.
    const int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const auto make = [&] {
        record.fd = open(record.made.c_str(), flags | O_CREAT | O_EXCL, 0666);
        record.created = record.fd >= 0;
    };
    record.made = path;
    make();
    if (!record.created && errno == EEXIST) record.fd = open(path, flags);
    // Links are followed by hand only for one that points nowhere: /dev/stdout and
    // /proc/self/fd/N are links whose text is no path, and open follows them.
    if (record.fd < 0 && errno == ENOENT && follow_links(record.made)) make();
    if (record.fd < 0) cannot_write(errno);
    struct stat st;
    // A record is a stream: a file, a pipe or a device such as a terminal, but never a disk.
    if (fstat(record.fd, &st) == 0 && S_ISBLK(st.st_mode)) {
        close(record.fd);
        record.fd = -1;
        fail(2, "cannot write the record %s: a block device", quoted(path).c_str());
    }
    fcntl(record.fd, F_SETFL, fcntl(record.fd, F_GETFL) & ~O_NONBLOCK);
}

}  // namespace

void open_record(const char* path, const char* backend_name) {
    end_record_at_exit();
    if (!path) return;
    static bool ends_at_exit = false;
    if (!ends_at_exit) ends_at_exit = atexit(end_record_at_exit) == 0;
    at_give_up(end_record_at_once);
    try {
        record.path = path;
        record.stuck = {2, "to write the record " + quoted(path)};
        // Not truncated yet: a session that never starts leaves an old record as it was, and a
        // replay of this very file reads it before it is replaced.
        open_file(path);
        const time_t now = time(nullptr);
        struct tm utc;
        char when[32] = "an unknown time";
        if (gmtime_r(&now, &utc)) strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &utc);
        record.header = std::string("# Recorded by kavex-view " KAVEX_VERSION " (") +
                        backend_name + " backend) at " + when + "\n";
    } catch (const std::bad_alloc&) {
        release_reserve();
        record.path = path;
        cannot_write(ENOMEM);
    }
}

namespace {

// Whether the file of that status is the record's own.
bool same_as_record(const struct stat& file) {
    struct stat recorded;
    return record.fd >= 0 && fstat(record.fd, &recorded) == 0 &&
           file.st_dev == recorded.st_dev && file.st_ino == recorded.st_ino;
}

}  // namespace

bool is_record_file(const std::string& path) {
    struct stat target;
    return stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode) && same_as_record(target);
}

bool is_record_of(int fd) {
    struct stat file;
    return fstat(fd, &file) == 0 && same_as_record(file);
}

void record_message(const message_record& message) {
    write_record([&](std::string& text) { record.lines.add(message, text); });
}

void record_snap(const std::string& name) {
    write_record([&](std::string& text) { record.lines.snap(name, text); });
}
