#include "platform/runtime/settings.h"

#include <getopt.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/runtime/errors.h"

namespace {

settings current;

bool take_platform(settings& s, const char* value, const char*) {
    const bool window = strcmp(value, "window") == 0;
    if (!window && strcmp(value, "headless") != 0) return false;
    s.platform = window ? platform_choice::window : platform_choice::headless;
    return true;
}

// Text, taken as it is into the member.
template <const char* settings::*member>
bool take_text(settings& s, const char* value, const char*) {
    s.*member = value;
    return true;
}

bool take_scale(settings& s, const char* value, const char* name) {
    const char* end = value + strlen(value);
    const auto [stop, error] = std::from_chars(value, end, s.scale);
    s.scale_name = name;
    return error == std::errc() && stop == end && s.scale >= 1 && s.scale <= 8;
}

bool take_fullscreen(settings& s, const char* value, const char*) {
    s.fullscreen = strcmp(value, "1") == 0;
    return s.fullscreen || strcmp(value, "0") == 0;
}

// Each setting: its option, its variable, and what it takes.
struct setting {
    const char* option;    // --option, or --option=ARGUMENT
    const char* variable;  // KAVEX_...
    const char* argument;  // what the option's value stands for in --help; null for a switch
    const char* allowed;   // the values taken, in words, for the error line
    const char* meaning;   // for --help
    bool (*take)(settings& s, const char* value, const char* name);  // false: not allowed
};

const setting table[] = {
    {"--platform", "KAVEX_PLATFORM", "NAME", "'window' or 'headless'", "window or headless",
     take_platform},
    {"--script", "KAVEX_SCRIPT", "SCRIPT", "", "a script, or @FILE to read it",
     take_text<&settings::script>},
    {"--record", "KAVEX_RECORD", "FILE", "", "record the session in FILE",
     take_text<&settings::record>},
    {"--scale", "KAVEX_SCALE", "N", "a whole number from 1 to 8", "a window N times 320 x 240",
     take_scale},
    {"--fullscreen", "KAVEX_FULLSCREEN", nullptr, "0 or 1", "start in fullscreen",
     take_fullscreen},
};
constexpr int count = sizeof table / sizeof table[0];
// getopt_long's values: table[i] is first_setting + i; help and version follow.
constexpr int first_setting = 1000;
constexpr int help_option = first_setting + count;
constexpr int version_option = help_option + 1;
constexpr int info_option = version_option + 1;

const char* env(const char* name) {
    const char* value = getenv(name);
    return value && *value ? value : nullptr;
}

[[noreturn]] void usage_error(const std::string& what) {
    const char* name = program_invocation_short_name;
    fprintf(stderr, "%s: %s\nTry '%s --help'.\n", name, what.c_str(), name);
    exit(2);
}

[[noreturn]] void answer(const std::string& text) {
    if (fputs(text.c_str(), stdout) < 0 || fflush(stdout) != 0)
        fail(2, "cannot write to standard output: %s", strerror(errno));
    exit(0);
}

std::string help() {
    std::string text =
        "Usage: kavex-view [OPTION]...\n"
        "A spinning translucent box drawn with OpenGL, switched from the keyboard.\n"
        "Without a display it runs headless: a script of messages, pictures saved as PNG.\n"
        "\n"
        "Each option acts as the environment variable beside it, and wins over it:\n";
    for (const setting& s : table) {
        const std::string option = std::string(s.option) + (s.argument ? "=" : "") +
                                   (s.argument ? s.argument : "");
        char line[160];
        snprintf(line, sizeof line, "      %-17s %-31s %s%s\n", option.c_str(), s.meaning,
                 s.variable, s.argument ? "" : "=1");
        text += line;
    }
    return text +
           "      --info            say what draws and shows the pictures, and exit\n"
           "  -h, --help            show this help and exit\n"
           "  -V, --version         show the version and exit\n"
           "\n"
           "Keys: l lighting, b blending, a additive, t texture, f filtering, m texture\n"
           "environment, space stop, r reverse, Page Up/Down distance, arrows spin;\n"
           "F11 or Alt+Enter fullscreen, F12 screenshot, F1 status, Ctrl+Q quit.\n"
           "\n"
           "The manual page (man kavex-view) has the rest: the script language, recording,\n"
           "exit statuses.\n";
}

// The long option whose getopt_long value is chosen, by its full name.
std::string long_name(const std::vector<option>& options, int chosen) {
    for (const option& o : options)
        if (o.name && o.val == chosen) return std::string("--") + o.name;
    return {};
}

// Whether text (up to a '=') abbreviates more than one option.
bool ambiguous(const char* text, const std::vector<option>& options) {
    const size_t length = strcspn(text + 2, "=");
    int matches = 0;
    for (const option& o : options)
        matches += o.name && strncmp(o.name, text + 2, length) == 0;
    return matches > 1;
}

// What getopt_long refused, in GNU's words: optopt is the option's value where it is known.
[[noreturn]] void refused(int chosen, const char* given, const std::vector<option>& options) {
    const std::string name = long_name(options, optopt);
    if (chosen == ':') usage_error("option '" + name + "' requires an argument");
    if (!name.empty()) usage_error("option '" + name + "' doesn't allow an argument");
    if (optopt) usage_error("invalid option -- " + quoted(std::string(1, char(optopt))));
    usage_error((ambiguous(given, options) ? "ambiguous option " : "unrecognized option ") +
                quoted(given));
}

// Reads the options into the settings; given[i] says whether table[i]'s option was given.
void read_options(int argc, char** argv, bool (&given)[count]) {
    std::vector<option> options;
    for (int i = 0; i < count; ++i) {
        const int argument = table[i].argument ? required_argument : no_argument;
        options.push_back({table[i].option + 2, argument, nullptr, first_setting + i});
    }
    options.push_back({"help", no_argument, nullptr, help_option});
    options.push_back({"version", no_argument, nullptr, version_option});
    options.push_back({"info", no_argument, nullptr, info_option});
    options.push_back({});  // the end of the list
    opterr = 0;  // its messages name argv[0] as it was typed; these name the program
    optind = 0;  // from the start, should the settings be read again
    for (int chosen; (chosen = getopt_long(argc, argv, ":hV", options.data(), nullptr)) != -1;) {
        if (chosen == 'h' || chosen == help_option) answer(help());
        if (chosen == 'V' || chosen == version_option) answer("kavex-view " KAVEX_VERSION "\n");
        if (chosen == '?' || chosen == ':') refused(chosen, argv[optind - 1], options);
        if (chosen == info_option) {
            current.info = true;
            continue;
        }
        const setting& s = table[chosen - first_setting];
        const char* value = s.argument ? optarg : "1";
        if (!*value) usage_error("option '" + std::string(s.option) + "' requires a value");
        if (!s.take(current, value, s.option))  // here, for the line that names the option
            usage_error(std::string(s.option) + " must be " + s.allowed + ", not " + quoted(value));
        given[chosen - first_setting] = true;
    }
    if (optind < argc) usage_error("unexpected argument " + quoted(argv[optind]));
}

}  // namespace

const settings& read_settings(int argc, char** argv) {
    current = settings();
    bool given[count] = {};
    read_options(argc, argv, given);
    for (int i = 0; i < count; ++i) {
        const setting& s = table[i];
        const char* value = given[i] ? nullptr : env(s.variable);  // an option wins
        if (value && !s.take(current, value, s.variable))
            fail(2, "%s must be %s, not %s", s.variable, s.allowed, quoted(value).c_str());
    }
    current.display = env("DISPLAY");
    current.wayland_display = env("WAYLAND_DISPLAY");
    current.runtime_dir = env("XDG_RUNTIME_DIR");
    current.video_driver = env("SDL_VIDEODRIVER");
    current.home = env("HOME");
    current.config_home = env("XDG_CONFIG_HOME");
    return current;
}

const settings& current_settings() { return current; }
