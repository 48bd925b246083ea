// The platform's start-up for the program: its command line, read before main runs (the program
// itself takes no arguments). Each option sets the variable of its setting, so that an option
// wins over the environment and means exactly what the variable means. Linked into the program
// alone, not into the tests or tools that start it in process.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/settings.h"

namespace {

constexpr int first_setting = 1000;  // getopt_long's value for settings[i] is first_setting + i

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
    for (int i = 0; i < setting_count; ++i) {
        const setting& s = settings[i];
        const std::string option = std::string("--") + s.option + (s.argument ? "=" : "") +
                                   (s.argument ? s.argument : "");
        char line[160];
        snprintf(line, sizeof line, "      %-17s %-31s %s%s\n", option.c_str(), s.meaning,
                 s.variable, s.argument ? "" : "=1");
        text += line;
    }
    return text +
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

// Whether text (up to a '=') abbreviates more than one option.
bool ambiguous(const char* text, const option* options) {
    const size_t length = strcspn(text + 2, "=");
    int matches = 0;
    for (const option* o = options; o->name; ++o)
        matches += strncmp(o->name, text + 2, length) == 0;
    return matches > 1;
}

void read_command_line(int argc, char** argv, char**) {
    std::vector<option> options;
    for (int i = 0; i < setting_count; ++i) {
        const int argument = settings[i].argument ? required_argument : no_argument;
        options.push_back({settings[i].option, argument, nullptr, first_setting + i});
    }
    options.push_back({"help", no_argument, nullptr, 'h'});
    options.push_back({"version", no_argument, nullptr, 'V'});
    options.push_back({});  // the end of the list
    opterr = 0;  // its messages name argv[0] as it was typed; these name the program
    for (int chosen; (chosen = getopt_long(argc, argv, ":hV", options.data(), nullptr)) != -1;) {
        const char* given = argv[optind - 1];
        if (chosen == 'h') answer(help());
        if (chosen == 'V') answer("kavex-view " KAVEX_VERSION "\n");
        if (chosen == ':')
            usage_error("option " + quoted(given) + " requires an argument");
        if (chosen == '?' && optopt >= first_setting)
            usage_error("option " + quoted(given) + " does not take an argument");
        if (chosen == '?' && optopt)
            usage_error("invalid option -- " + quoted(std::string(1, static_cast<char>(optopt))));
        if (chosen == '?')
            usage_error((ambiguous(given, options.data()) ? "ambiguous option "
                                                          : "unrecognized option ") +
                        quoted(given));
        const setting& s = settings[chosen - first_setting];
        const char* value = s.argument ? optarg : "1";
        if (!*value) usage_error(std::string("option '--") + s.option + "' requires a value");
        if (s.valid && !s.valid(value))
            usage_error(std::string("--") + s.option + " must be " + s.allowed + ", not " +
                        quoted(value));
        setenv(s.variable, value, 1);
    }
    if (optind < argc) usage_error("unexpected argument " + quoted(argv[optind]));
}

// glibc hands the command line to the functions in .init_array, which run before main.
using start_function = void (*)(int, char**, char**);
__attribute__((section(".init_array"), used)) const start_function reader = read_command_line;

}  // namespace
