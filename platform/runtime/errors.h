// Error lines: "<program>: <message>" on stderr, with the user's text quoted so that a line is
// always one short line whatever that text holds.
#pragma once

#include <string>
#include <string_view>

// Writes "<program>: <message>" on stderr and ends the process with the status. User text in
// the message goes through quoted().
[[noreturn]] void fail(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The same line for a failure the program goes on after.
void warn(const char* format, ...) __attribute__((format(printf, 1, 2)));

// User text (a path, a word of a script) for an error line: in single quotes, with control
// characters and bytes that are not UTF-8 written as \xNN, invisible format characters (the
// byte order mark, zero-width and bidirectional controls) and the line separators as \u{XXXX},
// and a long text shortened to its two ends around "...", so that an error line is always one
// short line that shows what is there.
std::string quoted(std::string_view text);

// Gives back the memory set aside at start, so that where memory has run out, the line that
// says so can still be made. For the places that end the run on std::bad_alloc.
void release_reserve();

// While one exists, what a library writes on stderr goes nowhere, and error_descriptor() is
// the user's stderr still. For the libraries that print a complaint of their own where the
// program's line says what failed (libxcb writes a refusing X server's reason there itself).
class library_quiet {
public:
    library_quiet();
    ~library_quiet();
    library_quiet(const library_quiet&) = delete;
    library_quiet& operator=(const library_quiet&) = delete;

private:
    bool quiet_ = false;
};

// Where a line must go that may be written while a library_quiet exists (the signal thread's).
int error_descriptor();
