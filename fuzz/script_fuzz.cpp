// Arbitrary bytes as a headless script: the parser either returns commands within their limits
// or one short line of error, with no control character, that names a line of the input. It
// never crashes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/script.h"

namespace {

bool has_control(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const long lines = std::count(text.begin(), text.end(), '\n') + 1;
    std::vector<script_command> commands;
    std::string error;
    long line = 0;
    int used = 0;
    const char* broken = nullptr;
    if (!parse_script(text, commands, error)) {
        if (sscanf(error.c_str(), "script line %ld: %n", &line, &used) != 1 || line < 1 || line > lines ||
            error.compare(0, used, "script line " + std::to_string(line) + ": ") || has_control(error) ||
            error.size() > 200)
            broken = "the error is not one short line that starts 'script line N: ' with N in the input";
    }
    // The largest value of each kind: redraw, key, code, message, close, snap (its path's length).
    const long high[] = {max_redraw_count, max_key_character, 65535, INT32_MAX, 0, 4095};
    const long low[] = {0, 1, 0, INT32_MIN, 0, 1};
    for (const script_command& c : commands) {
        const long value = c.kind == script_command::snap ? long(c.path.size()) : c.value;
        if (c.line < 1 || c.line > lines || value < low[c.kind] || value > high[c.kind] || has_control(c.path))
            broken = "a command out of its limits", error = "line " + std::to_string(c.line);
    }
    if (!broken) return 0;
    fprintf(stderr, "parse_script: %s: %s\n", broken, error.c_str());
    abort();
}
