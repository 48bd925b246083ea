// The window on Wayland, through the libwayland that SDL loads: whether the compositor wants
// frames again after it stopped asking for them (a frame callback of the program's own).
#pragma once

#include "platform/gui/window/sdl_api.h"

struct wl_proxy;

class wayland_window {
public:
    // The SDL window as the compositor knows it; nothing where it is not a Wayland window.
    wayland_window(const sdl_api& sdl, SDL_Window* window);
    wayland_window() = default;
    wayland_window(const wayland_window&) = delete;
    wayland_window& operator=(wayland_window&& other) noexcept;
    ~wayland_window();

    // Asks the compositor to say when it next wants a frame of the window.
    void watch();
    // Whether it said so since watch(); false before any watch.
    bool asked() const { return asked_; }

private:
    static void done(void* self, wl_proxy* callback, uint32_t time);

    void* display_ = nullptr;
    wl_proxy* surface_ = nullptr;
    wl_proxy* callback_ = nullptr;  // the frame callback that waits
    bool asked_ = false;
};
