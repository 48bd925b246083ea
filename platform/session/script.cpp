#include "platform/session/script.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/runtime/errors.h"
#include "platform/runtime/files.h"
#include "platform/platform.h"

namespace {

constexpr size_t max_script_bytes = 1 << 20;
constexpr long max_key_code = 65535;
constexpr size_t max_path_bytes = PATH_MAX - 1;

// A key character that `key` takes as itself; the others are written as U+ and their number.
// '#' and ';' delimit commands, and a space separates words.
bool written_as_itself(int32_t c) { return c > ' ' && c < 127 && c != '#' && c != ';'; }

std::string hex(long n) {
    char digits[16];
    snprintf(digits, sizeof digits, "%lX", n);
    return digits;
}

std::string_view trim(std::string_view s) {
    const char* blanks = " \t\r\v\f";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

// Parses an integer within [low, high], in base 10 or 16: a sign only where low < 0.
bool parse_int(std::string_view s, long low, long high, long& value, int base = 10) {
    const bool sign = low < 0;
    if (sign && s.size() > 1 && s[0] == '+' && s[1] != '-') s.remove_prefix(1);  // as from_chars
    if (s.empty() || (!sign && s[0] == '-')) return false;
    const char* end = s.data() + s.size();
    const auto [stop, error] = std::from_chars(s.data(), end, value, base);
    return error == std::errc() && stop == end && value >= low && value <= high;
}

// Each command's argument, parsed into its value: an empty string or what is wrong.
std::string parse_redraw(std::string_view arg, script_command& command) {
    long n = 1;
    if (!arg.empty() && !parse_int(arg, 0, max_redraw_count, n))
        return "redraw count must be a whole number from 0 to " +
               std::to_string(max_redraw_count) + ", not " + quoted(arg);
    command.value = static_cast<int32_t>(n);
    return {};
}

std::string parse_key(std::string_view arg, script_command& command) {
    long n = 0;
    if (arg == "space")
        command.value = ' ';
    else if (arg.size() == 1 && written_as_itself(arg[0]))
        command.value = arg[0];
    // Any other character by its number, as a recorded session writes it.
    else if (arg.substr(0, 2) == "U+" && parse_int(arg.substr(2), 1, max_key_character, n, 16))
        command.value = static_cast<int32_t>(n);
    else
        return "key takes one printable character, 'space' or U+1 to U+" +
               hex(max_key_character) + " (hex), not " + quoted(arg);
    return {};
}

std::string parse_code(std::string_view arg, script_command& command) {
    long n = 0;
    if (!parse_int(arg, 0, max_key_code, n))
        return "code takes a key code from 0 to " + std::to_string(max_key_code) + ", not " +
               quoted(arg);
    command.value = static_cast<int32_t>(n);
    return {};
}

std::string parse_message(std::string_view arg, script_command& command) {
    long n = 0;
    if (!parse_int(arg, INT32_MIN, INT32_MAX, n))
        return "message takes a message type (a 32-bit integer), not " + quoted(arg);
    command.value = static_cast<int32_t>(n);
    return {};
}

std::string parse_close(std::string_view arg, script_command&) {
    return arg.empty() ? "" : "close takes no argument";
}

std::string parse_snap(std::string_view arg, script_command& command) {
    if (arg.empty()) return "snap needs a file name";
    // Caught here rather than when the snap is due: no such name can ever be written.
    const bool control = std::any_of(arg.begin(), arg.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
    if (control) return "snap takes a file name without control characters, not " + quoted(arg);
    if (arg.size() > max_path_bytes)
        return "snap takes a file name of at most " + std::to_string(max_path_bytes) +
               " bytes, not " + quoted(arg);
    command.path = std::string(arg);
    return {};
}

struct command_word {
    const char* word;
    script_command::kind_t kind;
    std::string (*parse)(std::string_view arg, script_command& command);
};

const command_word commands[] = {
    {"redraw", script_command::redraw, parse_redraw},
    {"key", script_command::key, parse_key},
    {"code", script_command::code, parse_code},
    {"message", script_command::message, parse_message},
    {"close", script_command::close, parse_close},
    {"snap", script_command::snap, parse_snap},
};

// Parses one non-empty command; returns an empty string or what is wrong.
std::string parse_command(std::string_view text, script_command& command) {
    const auto blank = text.find_first_of(" \t");
    const std::string_view word = text.substr(0, blank);
    const std::string_view arg = blank == std::string_view::npos ? "" : trim(text.substr(blank));
    for (const command_word& c : commands) {
        if (word != c.word) continue;
        command.kind = c.kind;
        command.value = 0;
        command.path.clear();
        return c.parse(arg, command);
    }
    return "unknown command " + quoted(word) +
           " (commands: redraw, key, code, message, close, snap)";
}

}  // namespace

bool draws_frame(const script_command& command) {
    switch (command.kind) {
    case script_command::redraw:
        return command.value > 0;
    case script_command::code:
        return true;
    case script_command::message:
        return command.value == GI_MSG_REDRAW || command.value == GI_MSG_KEY;
    default:
        return false;
    }
}

bool parse_script(std::string_view text, std::vector<script_command>& commands,
                  std::string& error) {
    commands.clear();
    // A byte order mark, as some editors write at the start of a file; anywhere else it is text.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    int line_number = 0;
    bool drawn = false;  // a snap before the first frame would save an image never drawn
    while (!text.empty()) {
        ++line_number;
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line = line.substr(0, line.find('#'));
        while (!line.empty()) {
            const auto semicolon = line.find(';');
            const std::string_view piece = trim(line.substr(0, semicolon));
            line = semicolon == std::string_view::npos ? std::string_view()
                                                       : line.substr(semicolon + 1);
            if (piece.empty()) continue;
            script_command command{};
            command.line = line_number;
            std::string problem = parse_command(piece, command);
            if (problem.empty() && command.kind == script_command::snap && !drawn)
                problem = "snap before any frame is drawn (a redraw first draws one)";
            drawn = drawn || draws_frame(command);
            if (!problem.empty()) {
                error = "script line " + std::to_string(line_number) + ": " + problem;
                return false;
            }
            commands.push_back(std::move(command));
        }
    }
    return true;
}

bool load_script(const char* value, std::string& text, std::string& error) {
    if (value[0] != '@') {
        text = value;
        return true;
    }
    const char* path = value + 1;
    const int problem = read_small_file(path, max_script_bytes, text);
    if (problem == too_large)
        error = "script file " + quoted(path) + " is larger than " +
                std::to_string(max_script_bytes >> 20) + " MiB";
    else if (problem)
        error = "cannot read script file " + quoted(path) + ": " +
                (problem == not_regular ? "not a regular file" : strerror(problem));
    return problem == 0;
}

void script_writer::add(const message_record& message, std::string& lines) {
    if (message.type == GI_MSG_REDRAW) {
        if (++redraws_ == max_redraw_count) end(lines);  // the most one script line can say
        return;
    }
    end(lines);
    const int32_t c = message.character;
    char line[32];
    if (message.type == GI_MSG_CLOSE)
        snprintf(line, sizeof line, "close\n");
    else if (message.type != GI_MSG_KEY)
        snprintf(line, sizeof line, "message %d\n", message.type);
    else if (c == 0)
        snprintf(line, sizeof line, "code %d\n", message.code);
    else if (c == ' ')
        snprintf(line, sizeof line, "key space\n");
    else if (written_as_itself(c))
        snprintf(line, sizeof line, "key %c\n", c);
    else
        snprintf(line, sizeof line, "key U+%X\n", static_cast<unsigned>(c));
    lines += line;
}

void script_writer::end(std::string& lines) {
    if (redraws_ > 0) lines += "redraw " + std::to_string(redraws_) + "\n";
    redraws_ = 0;
}

void script_writer::snap(const std::string& path, std::string& lines) {
    end(lines);
    lines += "snap " + path + "\n";
}
