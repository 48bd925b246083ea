// Arbitrary bytes as a script: the parser either returns commands within their limits, or one
// short line of error, with no control character, that names a line of the input. It never
// crashes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/session/script.h"

namespace {

bool has_control(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](unsigned char c) {
        return c < 0x20 || c == 0x7f;
    });
}

// Whether the error is one short line "script line N: ..." with N a line of the input.
bool well_formed(const std::string& error, long lines) {
    long line = 0;
    int prefix = 0;
    if (sscanf(error.c_str(), "script line %ld: %n", &line, &prefix) != 1) return false;
    const std::string expected = "script line " + std::to_string(line) + ": ";
    return line >= 1 && line <= lines && error.compare(0, prefix, expected) == 0 &&
           !has_control(error) && error.size() <= 200;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const long lines = std::count(text.begin(), text.end(), '\n') + 1;
    std::vector<script_command> commands;
    std::string error;
    bool broken = !parse_script(text, commands, error) && !well_formed(error, lines);
    // Each kind's smallest and largest value: redraw, key, code, message, close, snap (the
    // length of its path).
    const long low[] = {0, 1, 0, INT32_MIN, 0, 1};
    const long high[] = {max_redraw_count, max_key_character, 65535, INT32_MAX, 0, 4095};
    for (const script_command& c : commands) {
        const long value = c.kind == script_command::snap ? long(c.path.size()) : c.value;
        broken |= c.line < 1 || c.line > lines || value < low[c.kind] || value > high[c.kind];
        broken |= has_control(c.path);
    }
    if (!broken) return 0;
    fprintf(stderr, "a command out of its limits, or an error that is not one short line naming"
                    " a line of the input: %s\n", error.c_str());
    abort();
}
