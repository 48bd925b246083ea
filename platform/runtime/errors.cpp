#include "platform/runtime/errors.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/platform.h"
#include "platform/runtime/utf8.h"

namespace {

void* reserve = malloc(64 << 10);  // a few error lines' worth, and then some

std::atomic<int> error_fd{STDERR_FILENO};

// Characters that change or hide what a line shows without showing themselves: Unicode's
// invisible format characters (Cf), and the line and paragraph separators.
bool hides(int32_t c) {
    static const int32_t ranges[][2] = {
        {0xAD, 0xAD},     {0x61C, 0x61C},   {0x180E, 0x180E},   {0x200B, 0x200F},
        {0x2028, 0x202E}, {0x2060, 0x2064}, {0x2066, 0x206F},   {0xFEFF, 0xFEFF},
        {0xFFF9, 0xFFFB}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F}};
    for (const auto& range : ranges)
        if (c >= range[0] && c <= range[1]) return true;
    return false;
}

// How the text at `at` shows in a quoted line: returns the bytes it takes and sets shown to
// them, or to their escape (kept in escape).
size_t next_piece(std::string_view text, size_t at, char (&escape)[16], std::string_view& shown) {
    int32_t c = 0;
    const size_t length = decode_utf8(text.substr(at), c);
    const bool control = c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xA0);  // C0, DEL, C1
    if (length && !control && !hides(c)) {
        shown = text.substr(at, length);
        return length;
    }
    if (length && !control)
        shown = std::string_view(escape, snprintf(escape, sizeof escape, "\\u{%04X}", c));
    else
        shown = std::string_view(escape, snprintf(escape, sizeof escape, "\\x%02x",
                                                  static_cast<unsigned char>(text[at])));
    return length && !control ? length : 1;
}

// "<program>: <message>" and a newline on stderr.
void write_error(const char* format, va_list args) {
    fprintf(stderr, "%s: ", program_invocation_short_name);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
}

}  // namespace

extern "C" void printd(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
}

void fail(int status, const char* format, ...) {
    va_list args;
    va_start(args, format);
    write_error(format, args);
    va_end(args);
    exit(status);
}

void warn(const char* format, ...) {
    va_list args;
    va_start(args, format);
    write_error(format, args);
    va_end(args);
}

std::string quoted(std::string_view text) {
    constexpr size_t end_bytes = 36;  // kept at each end of a long text
    char escape[16];
    std::string_view shown;
    size_t total = 0;  // bytes the whole text takes once escaped
    for (size_t at = 0; at < text.size(); total += shown.size())
        at += next_piece(text, at, escape, shown);
    std::string out = "'";
    bool cut = false;
    for (size_t at = 0, before = 0; at < text.size(); before += shown.size()) {
        at += next_piece(text, at, escape, shown);
        if (total <= 2 * end_bytes + 3 || before + shown.size() <= end_bytes ||
            total - before <= end_bytes) {
            out.append(shown);
        } else if (!cut) {
            out += "...";
            cut = true;
        }
    }
    return out + "'";
}

void release_reserve() { free(std::exchange(reserve, nullptr)); }

library_quiet::library_quiet() {
    // The copy is made once and never closed, so the signal thread never writes to a closed
    // or reused descriptor.
    static const int copy = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (copy >= 0 && nowhere >= 0) {
        fflush(stderr);
        error_fd = copy;
        quiet_ = dup2(nowhere, STDERR_FILENO) >= 0;
    }
    if (nowhere >= 0) close(nowhere);
}

library_quiet::~library_quiet() {
    if (quiet_) dup2(error_fd, STDERR_FILENO);
    error_fd = STDERR_FILENO;
}

int error_descriptor() { return error_fd; }
