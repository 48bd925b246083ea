#include "platform/errors.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/utf8.h"

namespace {

// Bytes in the printable character at text[at]; 0 for a control character (C0, DEL, C1) or a
// byte that starts no character.
size_t printable_length(std::string_view text, size_t at) {
    int32_t c = 0;
    const size_t length = decode_utf8(text.substr(at), c);
    return c >= 0x20 && c != 0x7f && (c < 0x80 || c >= 0xA0) ? length : 0;
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
    size_t total = 0;  // bytes the whole text takes once escaped
    for (size_t at = 0, n; at < text.size(); at += n ? n : 1)
        total += (n = printable_length(text, at)) ? n : 4;
    std::string out = "'";
    bool cut = false;
    for (size_t at = 0, before = 0, n; at < text.size(); at += n ? n : 1) {
        n = printable_length(text, at);
        const size_t width = n ? n : 4;
        if (total <= 2 * end_bytes + 3 || before + width <= end_bytes ||
            total - before <= end_bytes) {
            char escaped[5];
            snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(text[at]));
            out.append(n ? text.substr(at, n) : std::string_view(escaped, 4));
        } else if (!cut) {
            out += "...";
            cut = true;
        }
        before += width;
    }
    return out + "'";
}
