// KAVEX_RECORD: a live session written as a headless script, line by line as it happens.
#include "platform/recorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/errors.h"
#include "platform/runtime.h"
#include "platform/script.h"

namespace {

struct record_file {
    int fd = -1;
    std::string path;
    std::string header;    // written with the first message
    bool created = false;  // by this run
    bool started = false;  // the first message has replaced the old contents
    off_t written = 0;     // bytes of whole lines
    script_writer lines;
};

record_file record;

// Cuts the file back to its whole lines, so that it still replays; a pipe or a device cannot
// be cut and keeps what it took.
bool cut_to_whole_lines() { return ftruncate(record.fd, record.written) == 0; }

// Writes all of text; false with errno set if the file takes no more.
bool write_lines(const std::string& text) {
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
    if (record.created && record.written == 0) unlink(record.path.c_str());  // not even a line
    record.fd = -1;
    fail(2, "cannot write the record %s: %s", quoted(record.path).c_str(), strerror(error));
}

// At exit: the redraws held back, or, for a session that never started, the file it made.
// A run that ends here rather than with a close has failed and said so already, so a write
// that fails now is not reported again.
void end_record() {
    if (record.fd < 0) return;
    std::string rest;
    record.lines.end(rest);
    if (record.started)
        write_lines(rest);
    else if (record.created)
        unlink(record.path.c_str());
    close(record.fd);
    record = record_file();
}

}  // namespace

void open_record(const char* backend_name) {
    end_record();
    const char* path = env_value("KAVEX_RECORD");
    if (!path) return;
    static bool ends_at_exit = false;
    if (!ends_at_exit) ends_at_exit = atexit(end_record) == 0;
    record.path = path;
    // Not truncated yet: a session that never starts leaves an old record as it was, and a
    // replay of this very file reads it before it is replaced. Non-blocking, so that a FIFO
    // without a reader is refused instead of waited on.
    const int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    record.fd = open(path, flags | O_CREAT | O_EXCL, 0666);
    record.created = record.fd >= 0;
    if (!record.created && errno == EEXIST) record.fd = open(path, flags);
    if (record.fd < 0) cannot_write(errno);
    fcntl(record.fd, F_SETFL, fcntl(record.fd, F_GETFL) & ~O_NONBLOCK);
    const time_t now = time(nullptr);
    struct tm utc;
    char when[32] = "an unknown time";
    if (gmtime_r(&now, &utc)) strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &utc);
    record.header = std::string("# Recorded by kavex-view " KAVEX_VERSION " (") + backend_name +
                    " backend) at " + when + "\n";
}

void record_message(const message_record& message) {
    if (record.fd < 0) return;
    std::string text;
    if (!record.started) {
        cut_to_whole_lines();  // none yet: the old contents go
        text = record.header;
        record.started = true;
    }
    record.lines.add(message, text);
    if (!text.empty() && !write_lines(text)) cannot_write(errno);
}

void record_snap(const std::string& name) {
    if (record.fd < 0 || !record.started) return;
    std::string text;
    record.lines.snap(name, text);
    if (!write_lines(text)) cannot_write(errno);
}
