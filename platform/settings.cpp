#include "platform/settings.h"

#include <cstring>

#include "platform/errors.h"
#include "platform/runtime.h"

namespace {

bool is_platform(const char* v) { return strcmp(v, "window") == 0 || strcmp(v, "headless") == 0; }
bool is_scale(const char* v) { return v[0] >= '1' && v[0] <= '8' && !v[1]; }
bool is_switch(const char* v) { return (v[0] == '0' || v[0] == '1') && !v[1]; }

}  // namespace

const setting settings[] = {
    {"platform", "KAVEX_PLATFORM", "NAME", "'window' or 'headless'", "window or headless",
     is_platform},
    {"script", "KAVEX_SCRIPT", "SCRIPT", nullptr, "a script, or @FILE to read it",
     nullptr},
    {"record", "KAVEX_RECORD", "FILE", nullptr, "record the session in FILE", nullptr},
    {"scale", "KAVEX_SCALE", "N", "a whole number from 1 to 8", "a window N times 320 x 240",
     is_scale},
    {"fullscreen", "KAVEX_FULLSCREEN", nullptr, "0 or 1", "start in fullscreen", is_switch},
};
const int setting_count = sizeof settings / sizeof settings[0];

const char* setting_value(const char* variable) {
    const char* value = env_value(variable);
    for (const setting& s : settings)
        if (value && strcmp(s.variable, variable) == 0 && s.valid && !s.valid(value))
            fail(2, "%s must be %s, not %s", variable, s.allowed, quoted(value).c_str());
    return value;
}
