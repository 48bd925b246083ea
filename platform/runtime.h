// The runtime's services to the rest of the platform layer: one-line fatal errors that quote
// user text safely, the environment, and the signals that close the program or must not end it.
#pragma once

#include <signal.h>

#include <cstdint>
#include <string>
#include <string_view>

// Writes "<program>: <message>" on stderr and ends the process with the status. User text in
// the message goes through quoted().
[[noreturn]] void fail(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

// User text (a path, a word of a script) for an error line: in single quotes, with control
// characters and bytes that are not UTF-8 written as \xNN, and a long text shortened to its
// two ends around "...", so that an error line is always one short line.
std::string quoted(std::string_view text);

// The UTF-8 sequence that starts text: its length in bytes and its code point; length 0 where
// no well-formed sequence starts there.
size_t decode_utf8(std::string_view text, int32_t& code_point);

// Writes all of data to fd, again where a write is interrupted or short; returns 0 or the errno
// value of the failure (ENOSPC where the file takes nothing more).
int write_all(int fd, const void* data, size_t size);

// The value of a variable the platform reads from the environment, or null where it is unset
// or empty: everywhere in the platform, an empty value means unset.
const char* env_value(const char* name);

// Readies the process: standard descriptors that were closed point at /dev/null (so no file
// the program opens can become its stderr); SIGINT, SIGTERM and SIGHUP ask the program to
// close, unless they were ignored when it started (nohup); SIGPIPE is ignored, so a reader of
// stderr that went away never ends a run; SIGXFSZ is ignored, so a file-size limit is an
// ordinary write error (EFBIG).
void start_runtime();

// True once per close signal received since the last call.
bool take_close_request();

// Sends SIGINT, SIGTERM and SIGHUP to the handler instead, except those that were ignored when
// the program started; a null handler turns them back into close requests.
void route_close_signals(void (*handler)(int));

// While it exists, every signal that can be caught and does not report a fault waits; it is
// delivered when this ends. For the moments when a file exists under a temporary name.
class signals_held {
public:
    signals_held();
    ~signals_held();
    signals_held(const signals_held&) = delete;
    signals_held& operator=(const signals_held&) = delete;

private:
    sigset_t previous_;
};
