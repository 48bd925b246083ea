// Arbitrary bytes as a headless script: the parser either returns commands within their limits
// or one short line of error, with no control character, that names a line of the input. It
// never crashes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const long lines = std::count(text.begin(), text.end(), '\n') + 1;
    auto has_control = [](const std::string& s) {
        return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
    };
    std::vector<script_command> commands;
    std::string error;
    long line = 0;
    int used = 0;
    bool broken = !parse_script(text, commands, error) &&
                  (sscanf(error.c_str(), "script line %ld: %n", &line, &used) != 1 || line < 1 || line > lines ||
                   error.compare(0, used, "script line " + std::to_string(line) + ": ") || has_control(error) ||
                   error.size() > 200);
    // The largest value of each kind: redraw, key, code, message, close, snap (its path's length).
    const long high[] = {max_redraw_count, max_key_character, 65535, INT32_MAX, 0, 4095};
    const long low[] = {0, 1, 0, INT32_MIN, 0, 1};
    for (const script_command& c : commands) {
        const long value = c.kind == script_command::snap ? long(c.path.size()) : c.value;
        broken |= c.line < 1 || c.line > lines || value < low[c.kind] || value > high[c.kind] || has_control(c.path);
    }
    if (!broken) return 0;
    fprintf(stderr, "parse_script: a command out of its limits, or not one short line of error that starts "
                    "'script line N: ' with N a line of the input: %s\n", error.c_str());
    abort();
}
