// The window backend (SDL2): one fixed-size window, the keyboard mapped onto key messages,
// redraw messages at the display's refresh rate and on expose, and the engine's image copied
// into a software framebuffer after every message.
#include <GL/gl.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/engine.h"
#include "platform/runtime.h"
#include "platform/sdl_api.h"
#include "platform/window_present.h"

namespace {

// Key codes for keys without a character that the program has no binding for: distinct per key
// and clear of the bound codes.
constexpr int unbound_code_base = 256;

bool is_modifier(SDL_Keycode key) {
    switch (key) {
    case SDLK_LCTRL: case SDLK_RCTRL: case SDLK_LSHIFT: case SDLK_RSHIFT:
    case SDLK_LALT: case SDLK_RALT: case SDLK_LGUI: case SDLK_RGUI:
    case SDLK_CAPSLOCK: case SDLK_NUMLOCKCLEAR: case SDLK_SCROLLLOCK: case SDLK_MODE:
        return true;
    default:
        return false;
    }
}

int code_for(const SDL_Keysym& key) {
    switch (key.sym) {
    case SDLK_PAGEUP: return GI_KEY_PAGE_UP;
    case SDLK_PAGEDOWN: return GI_KEY_PAGE_DOWN;
    case SDLK_UP: return GI_KEY_UP;
    case SDLK_DOWN: return GI_KEY_DOWN;
    case SDLK_LEFT: return GI_KEY_LEFT;
    case SDLK_RIGHT: return GI_KEY_RIGHT;
    default: return unbound_code_base + key.scancode;
    }
}

// Decodes one UTF-8 sequence; returns its length (at least 1) and the code point.
int decode_utf8(const char* s, int32_t& code_point) {
    const auto c = static_cast<unsigned char>(s[0]);
    int length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    code_point = length == 1 ? c : c & (0x3F >> (length - 1));
    for (int i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(s[i]);
        if ((next & 0xC0) != 0x80) return i;  // malformed: keep what was read
        code_point = (code_point << 6) | (next & 0x3F);
    }
    return length;
}

// Xlib's own handler writes one or two lines, depending on how the connection broke, and exits.
[[noreturn]] void cannot_open_window(const char* why) {
    fail(1, "cannot open a window (%s); KAVEX_PLATFORM=headless runs without a display", why);
}

int on_lost_display(Display*) { fail(1, "lost the connection to the display"); }

// SDL's drivers for the displays the environment names, X11 first as SDL itself prefers.
std::string display_drivers() {
    std::string drivers;
    if (env_value("DISPLAY")) drivers = "x11";
    if (env_value("WAYLAND_DISPLAY")) drivers += drivers.empty() ? "wayland" : ",wayland";
    return drivers;
}

// SDL loads Xlib itself when it talks to an X server; the handler goes in only then.
void handle_lost_x_display() {
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!xlib) return;
    using set_handler = XIOErrorHandler (*)(XIOErrorHandler);
    if (auto set = reinterpret_cast<set_handler>(dlsym(xlib, "XSetIOErrorHandler")))
        set(on_lost_display);
    dlclose(xlib);
}

class window_backend final : public backend {
public:
    window_backend(const sdl_api& sdl, const app_params& params) : sdl_(sdl) {
        // The close request comes from the platform's own signal handling, and the window
        // surface must not create a GL context of its own beside the engine's.
        sdl_.SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        sdl_.SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        // Only drivers that show a window: otherwise, with the display out of reach, SDL falls
        // back to its offscreen driver and the program runs on unseen. SDL_VIDEODRIVER, when
        // set, is the user's choice.
        if (!env_value("SDL_VIDEODRIVER")) {
            unsetenv("SDL_VIDEODRIVER");  // SDL reads it too, and would take "" as "try all"
            const std::string drivers = display_drivers();
            if (drivers.empty()) cannot_open_window("neither DISPLAY nor WAYLAND_DISPLAY is set");
            sdl_.SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
        }
        if (sdl_.SDL_Init(SDL_INIT_VIDEO) != 0) cannot_open();
        handle_lost_x_display();
        window_ = sdl_.SDL_CreateWindow(params.title, params.x, params.y, params.width,
                                        params.height, SDL_WINDOW_SHOWN);
        if (!window_) cannot_open();
        SDL_DisplayMode mode;
        const int index = sdl_.SDL_GetWindowDisplayIndex(window_);
        const int hz = index >= 0 && sdl_.SDL_GetCurrentDisplayMode(index, &mode) == 0 &&
                               mode.refresh_rate > 0
                           ? mode.refresh_rate
                           : 60;
        frame_interval_ = sdl_.SDL_GetPerformanceFrequency() / hz;
        next_frame_ = sdl_.SDL_GetPerformanceCounter();
        sdl_.SDL_StartTextInput();
    }

    void next_message(message_record& message, const kgl_engine*) override {
        for (;;) {
            if (pending_count_ > 0) {
                message.type = GI_MSG_KEY;
                message.character = pending_[pending_first_];
                pending_first_ = (pending_first_ + 1) % pending_capacity;
                --pending_count_;
                return;
            }
            const Uint64 now = sdl_.SDL_GetPerformanceCounter();
            if (now >= next_frame_) {
                // After a stall, start the pace afresh rather than catching up in a burst.
                next_frame_ = now - next_frame_ >= frame_interval_ ? now + frame_interval_
                                                                   : next_frame_ + frame_interval_;
                message.type = GI_MSG_REDRAW;
                return;
            }
            const Uint64 frequency = sdl_.SDL_GetPerformanceFrequency();
            const int wait_ms =
                static_cast<int>(((next_frame_ - now) * 1000 + frequency - 1) / frequency);
            SDL_Event event;
            if (sdl_.SDL_WaitEventTimeout(&event, wait_ms) && translate(event, message)) return;
        }
    }

    void present(const kgl_engine& engine) override {
        SDL_Surface* surface = sdl_.SDL_GetWindowSurface(window_);
        if (!surface || !copy_engine_image(sdl_, engine, surface, pixels_)) return;
        sdl_.SDL_UpdateWindowSurface(window_);
    }

    void message_box(const char* caption, const char* text) override {
        sdl_.SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, window_);
    }

    void destroy_window() override {
        if (window_) sdl_.SDL_DestroyWindow(window_);
        window_ = nullptr;
    }

private:
    [[noreturn]] void cannot_open() { cannot_open_window(sdl_.SDL_GetError()); }

    bool next_is_text() {
        SDL_Event next;
        return sdl_.SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
               next.type == SDL_TEXTINPUT;
    }

    // Turns an SDL event into a message; false for events that make none.
    bool translate(const SDL_Event& event, message_record& message) {
        switch (event.type) {
        case SDL_QUIT:
            message.type = GI_MSG_CLOSE;
            return true;
        case SDL_WINDOWEVENT:
            if (event.window.event != SDL_WINDOWEVENT_EXPOSED) return false;
            message.type = GI_MSG_REDRAW;
            return true;
        case SDL_KEYDOWN:
            // A press that types text has its text event queued right behind it (SDL makes both
            // from one X key event), and that carries the character. Which presses type text
            // depends on the layout and modifiers (Ctrl+1 types "1", Shift+keypad 1 nothing),
            // so it is read from the queue rather than guessed.
            if (is_modifier(event.key.keysym.sym) || next_is_text()) return false;
            message.type = GI_MSG_KEY;
            message.code = static_cast<uint16_t>(code_for(event.key.keysym));
            return true;
        case SDL_TEXTINPUT:
            for (const char* s = event.text.text; *s && pending_count_ < pending_capacity;) {
                int32_t character;
                s += decode_utf8(s, character);
                pending_[(pending_first_ + pending_count_++) % pending_capacity] = character;
            }
            return false;  // delivered from the pending queue
        default:
            return false;
        }
    }

    static constexpr int pending_capacity = 32;

    const sdl_api& sdl_;
    SDL_Window* window_ = nullptr;
    Uint64 frame_interval_ = 0;
    Uint64 next_frame_ = 0;
    std::vector<uint8_t> pixels_;
    int32_t pending_[pending_capacity] = {};
    int pending_first_ = 0;
    int pending_count_ = 0;
};

}  // namespace

std::unique_ptr<backend> make_window_backend(const sdl_api& sdl, const app_params& params) {
    return std::make_unique<window_backend>(sdl, params);
}

std::unique_ptr<backend> make_window_backend(const app_params& params) {
    std::string error;
    const sdl_api* sdl = load_sdl(error);
    if (!sdl) cannot_open_window(error.c_str());
    return make_window_backend(*sdl, params);
}
