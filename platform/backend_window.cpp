// The window backend (SDL2): one fixed-size window, the keyboard mapped onto key messages,
// redraw messages at the display's refresh rate and on expose, and the engine's image copied
// into a software framebuffer after every message.
#include <GL/gl.h>
#include <SDL.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/backend.h"
#include "platform/engine.h"
#include "platform/runtime.h"

// Copies the engine's image into the surface, top row first, in the surface's pixel format;
// false if the surface cannot be locked. Needs no window, so the benchmark measures it alone.
bool copy_engine_image(const kgl_engine& engine, SDL_Surface* surface,
                       std::vector<uint8_t>& scratch);

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
int on_lost_display(Display*) { fail(1, "lost the connection to the display"); }

class window_backend final : public backend {
public:
    explicit window_backend(const app_params& params) {
        // The close request comes from the platform's own signal handling, and the window
        // surface must not create a GL context of its own beside the engine's.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        if (SDL_Init(SDL_INIT_VIDEO) != 0) cannot_open();
        // Process-wide, and idle when SDL talks to another display server.
        XSetIOErrorHandler(on_lost_display);
        window_ = SDL_CreateWindow(params.title, params.x, params.y, params.width, params.height,
                                   SDL_WINDOW_SHOWN);
        if (!window_) cannot_open();
        SDL_DisplayMode mode;
        const int index = SDL_GetWindowDisplayIndex(window_);
        const int hz = index >= 0 && SDL_GetCurrentDisplayMode(index, &mode) == 0 &&
                               mode.refresh_rate > 0
                           ? mode.refresh_rate
                           : 60;
        frame_interval_ = SDL_GetPerformanceFrequency() / hz;
        next_frame_ = SDL_GetPerformanceCounter();
        SDL_StartTextInput();
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
            if (take_close_request()) {
                message.type = GI_MSG_CLOSE;
                return;
            }
            const Uint64 now = SDL_GetPerformanceCounter();
            if (now >= next_frame_) {
                // After a stall, start the pace afresh rather than catching up in a burst.
                next_frame_ = std::max(next_frame_ + frame_interval_, now);
                message.type = GI_MSG_REDRAW;
                return;
            }
            const Uint64 frequency = SDL_GetPerformanceFrequency();
            const int wait_ms =
                static_cast<int>(((next_frame_ - now) * 1000 + frequency - 1) / frequency);
            SDL_Event event;
            if (SDL_WaitEventTimeout(&event, wait_ms) && translate(event, message)) return;
        }
    }

    void present(const kgl_engine& engine) override {
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        if (!surface || !copy_engine_image(engine, surface, pixels_)) return;
        SDL_UpdateWindowSurface(window_);
    }

    void message_box(const char* caption, const char* text) override {
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, window_);
    }

    void destroy_window() override {
        if (window_) SDL_DestroyWindow(window_);
        window_ = nullptr;
    }

private:
    [[noreturn]] static void cannot_open() {
        fail(1, "cannot open a window (%s); KAVEX_PLATFORM=headless runs without a display",
             SDL_GetError());
    }

    static bool next_is_text() {
        SDL_Event next;
        return SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
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

    SDL_Window* window_ = nullptr;
    Uint64 frame_interval_ = 0;
    Uint64 next_frame_ = 0;
    std::vector<uint8_t> pixels_;
    int32_t pending_[pending_capacity] = {};
    int pending_first_ = 0;
    int pending_count_ = 0;
};

}  // namespace

std::unique_ptr<backend> make_window_backend(const app_params& params) {
    return std::make_unique<window_backend>(params);
}

namespace {

// Whether the GL can write the rows top first (GL_MESA_pack_invert): then the image needs no
// flipping and goes straight into the surface. One engine per run, so asked once.
bool can_read_top_first() {
    static const bool supported = [] {
        const auto* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        const char name[] = "GL_MESA_pack_invert";
        for (const char* s = list ? strstr(list, name) : nullptr; s; s = strstr(s + 1, name))
            if ((s == list || s[-1] == ' ') && (s[sizeof name - 1] == ' ' || !s[sizeof name - 1]))
                return true;
        return false;
    }();
    return supported;
}

}  // namespace

bool copy_engine_image(const kgl_engine& engine, SDL_Surface* surface,
                       std::vector<uint8_t>& scratch) {
    // XRGB/ARGB8888 is BGRA in memory on little-endian machines; anything else is converted.
    const Uint32 format = surface->format->format;
    const bool bgra = format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
    if (bgra && surface->w == engine.width && surface->h == engine.height &&
        surface->pitch == engine.width * 4 && can_read_top_first()) {
        glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
        engine_read_pixels(engine, GL_BGRA, static_cast<uint8_t*>(surface->pixels));
        glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
    } else {
        const size_t stride = static_cast<size_t>(engine.width) * 4;
        scratch.resize(stride * engine.height);
        engine_read_pixels(engine, bgra ? GL_BGRA : GL_RGBA, scratch.data());
        const int rows = std::min(engine.height, surface->h);
        const int columns = std::min(engine.width, surface->w);
        for (int y = 0; y < rows; ++y) {
            const uint8_t* source = scratch.data() + (engine.height - 1 - y) * stride;
            auto* target = static_cast<uint8_t*>(surface->pixels) + y * surface->pitch;
            if (bgra)
                memcpy(target, source, columns * 4);
            else
                SDL_ConvertPixels(columns, 1, SDL_PIXELFORMAT_ABGR8888, source, stride, format,
                                  target, surface->pitch);
        }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    return true;
}
