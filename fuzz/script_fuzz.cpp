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

[[noreturn]] void broken(const char* what, const std::string& detail) {
    fprintf(stderr, "parse_script: %s: %s\n", what, detail.c_str());
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const long lines = std::count(text.begin(), text.end(), '\n') + 1;
    std::vector<script_command> commands;
    std::string error;
    if (!parse_script(text, commands, error)) {
        long line = 0;
        int used = 0;
        if (sscanf(error.c_str(), "script line %ld: %n", &line, &used) != 1 || used == 0 ||
            error.compare(0, used, "script line " + std::to_string(line) + ": ") != 0)
            broken("error does not start with 'script line N: '", error);
        if (line < 1 || line > lines) broken("error names a line outside the input", error);
        if (has_control(error) || error.size() > 200)
            broken("error is not one short line", error);
        return 0;
    }
    for (const script_command& c : commands) {
        const std::string at = "line " + std::to_string(c.line);
        if (c.line < 1 || c.line > lines) broken("command outside the input", at);
        switch (c.kind) {
        case script_command::redraw:
            if (c.value < 0 || c.value > max_redraw_count) broken("redraw count out of range", at);
            break;
        case script_command::key:
            if (c.value < 1 || c.value > max_key_character) broken("key out of range", at);
            break;
        case script_command::code:
            if (c.value < 0 || c.value > 65535) broken("key code out of range", at);
            break;
        case script_command::snap:
            if (c.path.empty() || c.path.size() > 4095 || has_control(c.path))
                broken("snap path empty, too long or with a control character", at);
            break;
        case script_command::message:
        case script_command::close:
            break;
        }
    }
    return 0;
}
