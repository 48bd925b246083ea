// The window itself: SDL's video started on the display the settings name, one window with the
// program's icon, the engine's image presented in it, and the modal error box.
#pragma once

#include "platform/gui/window/pacer.h"
#include "platform/gui/window/present.h"
#include "platform/gui/window/sdl_api.h"
#include "platform/gui/window/x11.h"
#include "platform/platform.h"
#include "platform/runtime/signals.h"

struct settings;

class sdl_window {
public:
    // Opens the window shown, at the settings' scale and fullscreen; ends the process with one
    // line where it cannot.
    sdl_window(const sdl_api& sdl, const settings& given, const app_params& params);

    // What a display call waits on, should the display not answer.
    const stuck_wait& display() const { return display_; }
    // The display's refresh rate, 60 where it is not known.
    int refresh_rate() const;
    bool fullscreen() const;
    void toggle_fullscreen();
    // Whether the window shows, as the X server sees it (unknown but on X11).
    visibility seen() const { return x11_.seen(); }

    // Shows the engine's image, with the status layer's text over it where given; the engine's
    // context is current again afterwards.
    void present(const kgl_engine& engine, const char* status);
    // The window has a new size, so a new surface.
    void resized() { picture_.framed = nullptr; }
    void message_box(const char* caption, const char* text);
    void destroy();

    // Where SDL draws with a GL context of its own, makes the engine's current again (if any).
    void take_back_context(const kgl_engine* engine);

private:
    [[noreturn]] void cannot_open();
    SDL_Rect place(const settings& given, const app_params& params);

    const sdl_api& sdl_;
    stuck_wait display_;
    SDL_Window* window_ = nullptr;
    x11_window x11_;
    present_state picture_;
};
