// The program's settings, each from its command-line option or its environment variable (the
// option wins), and the part of the environment that names the display and the user's folders:
// read and checked once, at start, into one record that the rest of the platform receives.
// Everywhere, a variable set to an empty value counts as unset.
#pragma once

enum class platform_choice { by_display, window, headless };

struct settings {
    platform_choice platform = platform_choice::by_display;
    const char* script = nullptr;  // the script's text, or @FILE
    const char* record = nullptr;  // the file the session is recorded in
    int scale = 1;                 // the window's size in views, 1 to 8
    const char* scale_name = "KAVEX_SCALE";  // as the user gave it, for the lines about it
    bool fullscreen = false;
    bool info = false;  // say how pictures are drawn and shown, then end
    // The environment, null where unset.
    const char* display = nullptr;          // DISPLAY
    const char* wayland_display = nullptr;  // WAYLAND_DISPLAY
    const char* runtime_dir = nullptr;      // XDG_RUNTIME_DIR
    const char* video_driver = nullptr;     // SDL_VIDEODRIVER
    const char* home = nullptr;             // HOME
    const char* config_home = nullptr;      // XDG_CONFIG_HOME
};

// Reads the options in argv (argv[0] is the program) and the environment. --help and --version
// answer on stdout and end the process with status 0; a bad option, value or argument ends it
// with one line (and for an option, a line that points to --help), status 2.
const settings& read_settings(int argc, char** argv);

// What read_settings read last.
const settings& current_settings();
