// The window itself: SDL's video started on the display the settings name, one window with the
// program's icon, the engine's image presented in it, and the modal error box.
//
// The picture goes to the window one of two ways. Where SDL's 2D renderer has a GPU, or on
// Wayland, which gives a window no framebuffer in shared memory, as one 320 x 240 texture a
// frame that the renderer scales: the cost follows the picture, not the window. On X11 with a
// software rasterizer, through the window's framebuffer in shared memory, which the program
// fills itself and sends the X server only where it changed.
#pragma once

#include <string>

#include "platform/gui/window/pacer.h"
#include "platform/gui/window/present.h"
#include "platform/gui/window/sdl_api.h"
#include "platform/gui/window/wayland.h"
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
    // Whether the display paces the frames: presenting waits for its vertical sync (a GPU on
    // X11), or the compositor says when it wants the next one (Wayland, frame_due).
    bool synced() const { return synced_; }
    bool fullscreen() const;
    void toggle_fullscreen();
    // Whether the window shows: as the X server sees it on X11; on Wayland, hidden while the
    // compositor asks for no frames (throttled), shown once it asks again; else unknown.
    visibility seen() const {
        if (!throttled_) return x11_.seen();
        return wayland_.asked() ? visibility::shown : visibility::hidden;
    }

    // Shows the engine's image, with the status layer's text over it where given; the engine's
    // context is current again afterwards.
    void present(const kgl_engine& engine, const char* status);
    // Whether the compositor wants the next frame; where it has not asked yet, waits a while
    // for it first (the caller asks again). Unasked for a second, the window shows nothing
    // (throttled), until the compositor asks again.
    bool frame_due();
    // The window has a new size, so a new surface.
    void resized() { picture_.framed = nullptr; }
    void message_box(const char* caption, const char* text);
    void destroy();

    // Where SDL draws with a GL context of its own, makes the engine's current again (if any).
    void take_back_context(const kgl_engine* engine);

    // Lines that say how the window draws: its window system, the present, the screen.
    std::string description() const;

private:
    [[noreturn]] void cannot_open();
    SDL_Rect place(const settings& given, const app_params& params);
    void open_renderer(const app_params& params, bool only_on_a_gpu);
    void close_renderer();
    void show_texture();

    const sdl_api& sdl_;
    const char* driver_;
    stuck_wait display_;
    SDL_Window* window_ = nullptr;
    x11_window x11_;
    wayland_window wayland_;
    present_state picture_;
    SDL_Renderer* renderer_ = nullptr;  // where the picture goes as a texture
    SDL_Texture* texture_ = nullptr;
    std::string present_path_;  // how, in words
    bool synced_ = false;
    bool throttled_ = false;  // the compositor asked for no frame in a second
    Uint64 asked_at_ = 0;     // when the last frame asked the compositor for the next
};
