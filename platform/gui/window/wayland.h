// The window on Wayland, through the libwayland that SDL loads: when the compositor wants the
// next frame, by a frame callback of the program's own (SDL's own wait for one costs more CPU
// than drawing the frame), and whether it wants frames again after it stopped asking.
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

    // Whether it is a Wayland window.
    explicit operator bool() const { return surface_ != nullptr; }

    // Asks the compositor to say when it wants the next frame; the next commit takes the
    // question along.
    void ask();
    // The same with a commit of its own (a pixel damaged), for a window it asked nothing of.
    void watch();
    // Whether it said so since the question; true before any.
    bool asked() const { return asked_; }
    // Waits up to ms for the compositor to send anything; whether it did (SDL reads it).
    bool wait(int ms) const;

private:
    static void done(void* self, wl_proxy* callback, uint32_t time);

    void* display_ = nullptr;
    wl_proxy* surface_ = nullptr;
    wl_proxy* callback_ = nullptr;  // the frame callback that waits
    bool asked_ = true;
};
