// The runtime: the debug output, fatal errors and their quoting of user text, the environment,
// and the signals that ask the program to close or must not end it.
#include "platform/runtime.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "app/platform.h"

namespace {
volatile sig_atomic_t close_requested = 0;

void on_close_signal(int) { close_requested = 1; }

// Bytes in the printable character at text[at]; 0 for a control character (C0, DEL, C1) or a
// byte that starts no character.
size_t printable_length(std::string_view text, size_t at) {
    int32_t c = 0;
    const size_t length = decode_utf8(text.substr(at), c);
    return c >= 0x20 && c != 0x7f && (c < 0x80 || c >= 0xA0) ? length : 0;
}
}  // namespace

extern "C" void printd(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
}

void fail(int status, const char* format, ...) {
    fprintf(stderr, "%s: ", program_invocation_short_name);
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
    exit(status);
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
        if (total <= 2 * end_bytes + 3 || before + width <= end_bytes || total - before <= end_bytes) {
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

size_t decode_utf8(std::string_view text, int32_t& code_point) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    if (text.empty()) return 0;
    const size_t length = byte(0) < 0x80 ? 1 : byte(0) >= 0xF0 ? 4 : byte(0) >= 0xE0 ? 3 : byte(0) >= 0xC2 ? 2 : 0;
    if (length == 0 || byte(0) > 0xF4 || length > text.size()) return 0;
    code_point = length == 1 ? byte(0) : byte(0) & (0x3F >> (length - 1));
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code_point = code_point << 6 | (byte(i) & 0x3F);
    }
    return length;
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

const char* env_value(const char* name) {
    const char* value = getenv(name);
    return value && *value ? value : nullptr;
}

void start_runtime() {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) open("/dev/null", O_RDWR);  // takes fd
    route_close_signals(nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

bool take_close_request() {
    if (!close_requested) return false;
    close_requested = 0;
    return true;
}

void route_close_signals(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler ? handler : on_close_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a write of a picture is never cut short by a close signal
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old;
        // Ignored from the start (nohup) stays ignored: nothing here ever sets SIG_IGN.
        if (sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
            sigaction(signal_number, &action, nullptr);
    }
}

signals_held::signals_held() {
    sigset_t held;
    sigfillset(&held);
    // A fault's signal cannot wait: the kernel would end the process at once.
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) sigdelset(&held, fault);
    sigprocmask(SIG_BLOCK, &held, &previous_);
}

signals_held::~signals_held() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
