// The window on X11, through the Xlib that SDL loads: whether the X server shows the window,
// and one line should the connection to the display break.
#pragma once

#include "platform/gui/window/pacer.h"
#include "platform/gui/window/sdl_api.h"

// Once SDL talks to an X server: a broken connection is one line and status 1 (Xlib's own
// handler writes one or two lines and exits). Does nothing without an X server.
void handle_lost_x_display();

class x11_window {
public:
    // The SDL window as the X server knows it; nothing where it is not an X11 window.
    x11_window(const sdl_api& sdl, SDL_Window* window);
    x11_window() = default;

    // Whether the X server shows it (unknown where it cannot say). SDL can miss the map that
    // follows a window manager's reparenting, take the showing window for hidden and then
    // report no later hiding.
    visibility seen() const;

private:
    void* display_ = nullptr;
    unsigned long window_ = 0;
};
