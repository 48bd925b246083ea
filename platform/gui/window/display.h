// The display the window opens on: which of SDL's video drivers to try for the displays the
// environment names, and the lines that say why none could be reached.
#pragma once

#include <string>

#include "platform/runtime/signals.h"

struct settings;

// Whether something listens on the Unix socket at path (a leading '@': an abstract name).
bool answers(const std::string& path);

// SDL's video drivers to try, in order ("wayland,x11"), for the displays the settings name and
// the sockets that listen: empty where the user chose one with SDL_VIDEODRIVER. Where no
// display can be tried, drivers is empty and problem says why.
struct display_choice {
    std::string drivers;
    std::string problem;
};
display_choice choose_display(const settings& given,
                              bool (*listens)(const std::string& path) = answers);

// Why SDL could not start on the drivers chosen: which display did not answer, or refused.
std::string unanswered(const settings& given, const std::string& drivers,
                       bool (*listens)(const std::string& path) = answers);

// The X screen that an X display name ("host:N.S") asks for: S, 0 where there is none.
int x_screen(const char* display);

// A display call's wait, should the display not answer: the display of SDL's driver, or
// before SDL has one (driver null), of the one it tries first.
stuck_wait display_wait(const settings& given, const char* driver);

// One line that says no window can open and why, and status 1.
[[noreturn]] void cannot_open_window(const std::string& why);
