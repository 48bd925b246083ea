// The window backend without a display: SDL's window, clock and event functions replaced by a
// stand-in (the rest is the real library), so SDL events go in and messages come out; and the
// present path into a surface of each pixel format SDL can hand out, against the engine's image.
#include <GL/gl.h>
#include <SDL.h>

#include <deque>

#include "harness/in_process.h"
#include "platform/backend.h"
#include "platform/engine.h"
#include "platform/sdl_api.h"
#include "platform/window_present.h"
#include "scene/renderer.h"
#include <gtest/gtest.h>

namespace {

std::deque<SDL_Event> events;
Uint64 now_ms;  // the stand-in's clock moves only while the backend waits on an empty queue
int refresh_rate;

const sdl_api& stand_in() {
    static sdl_api api = [] {
        std::string error;
        sdl_api a = *load_sdl(error);
        a.SDL_Init = [](Uint32) { return 0; };
        a.SDL_CreateWindow = [](const char*, int, int, int, int, Uint32) { return reinterpret_cast<SDL_Window*>(&events); };
        a.SDL_GetWindowDisplayIndex = [](SDL_Window*) { return 0; };
        a.SDL_GetCurrentDisplayMode = [](int, SDL_DisplayMode* mode) { return mode->refresh_rate = refresh_rate, 0; };
        a.SDL_GetPerformanceFrequency = []() -> Uint64 { return 1000; };
        a.SDL_GetPerformanceCounter = [] { return now_ms; };
        a.SDL_StartTextInput = [] {};
        a.SDL_GetWindowSurface = [](SDL_Window*) { static SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 320, 240, 32, SDL_PIXELFORMAT_RGB888); return s; };
        a.SDL_Delay = [](Uint32 ms) { now_ms += ms; };
        a.SDL_PollEvent = [](SDL_Event* e) { return events.empty() ? 0 : (*e = events.front(), events.pop_front(), 1); };
        a.SDL_WaitEventTimeout = [](SDL_Event* e, int timeout) {
            if (events.empty()) return now_ms += timeout, 0;
            return *e = events.front(), events.pop_front(), 1;
        };
        a.SDL_PeepEvents = [](SDL_Event* e, int, SDL_eventaction, Uint32, Uint32) {
            return events.empty() ? 0 : (*e = events.front(), 1);
        };
        return a;
    }();
    return api;
}

std::unique_ptr<backend> start_window(int hz = 60) {
    setenv("SDL_VIDEODRIVER", "x11", 1);
    events.clear();
    now_ms = 0;
    refresh_rate = hz;
    return make_window_backend(stand_in(), app_params{});
}

std::string next(backend& window) {
    message_record m{};
    if (!window.next_message(m, nullptr)) return "none";
    return m.type == GI_MSG_REDRAW ? "redraw" : m.type == GI_MSG_CLOSE ? "close" : m.type != GI_MSG_KEY
           ? "type " + std::to_string(m.type) : m.character ? "key " + std::to_string(m.character)
           : "code " + std::to_string(m.code);
}

SDL_Event event(Uint32 type, SDL_Keycode sym = 0, const char* text = "", Uint8 window = 0) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym = {static_cast<SDL_Scancode>(sym & ~SDLK_SCANCODE_MASK), sym, 0, 0};
    if (type == SDL_TEXTINPUT) strcpy(e.text.text, text);
    if (type == SDL_WINDOWEVENT) e.window.event = window;
    return e;
}
SDL_Event press(SDL_Keycode sym) { return event(SDL_KEYDOWN, sym); }
SDL_Event text(const char* t) { return event(SDL_TEXTINPUT, 0, t); }
SDL_Event window_event(Uint8 what) { return event(SDL_WINDOWEVENT, 0, "", what); }

}  // namespace

TEST(window, sdl_events_become_messages) {
    const struct {
        std::vector<SDL_Event> in;
        const char* out;
    } cases[] = {
        {{press(SDLK_l), text("l"), event(SDL_KEYUP, SDLK_l)}, "key 108"},
        {{press(SDLK_LSHIFT), press(SDLK_l), text("L"), press(SDLK_LCTRL), press(SDLK_1), text("1")}, "key 76, key 49"},
        {{press(SDLK_SPACE), text(" ")}, "key 32"},
        {{press(SDLK_PAGEUP), press(SDLK_PAGEDOWN), press(SDLK_UP), press(SDLK_DOWN), press(SDLK_LEFT),
          press(SDLK_RIGHT)}, "code 32, code 53, code 98, code 99, code 100, code 101"},
        {{press(SDLK_F1), press(SDLK_KP_1)}, "code 314, code 345"},  // 256 + scancode
        {{press(SDLK_LCTRL), press(SDLK_RCTRL), press(SDLK_LSHIFT), press(SDLK_RSHIFT), press(SDLK_LALT),
          press(SDLK_RALT), press(SDLK_LGUI), press(SDLK_RGUI), press(SDLK_CAPSLOCK), press(SDLK_NUMLOCKCLEAR),
          press(SDLK_SCROLLLOCK), press(SDLK_MODE)}, ""},
        {{text("\xc3\xa9"), text("ab"), text("\xe2\x82\xac"), text("\xf0\x9f\x98\x80")},
         "key 233, key 97, key 98, key 8364, key 128512"},
        {{window_event(SDL_WINDOWEVENT_EXPOSED), window_event(SDL_WINDOWEVENT_MOVED), event(SDL_MOUSEMOTION)}, "redraw"},
    };
    for (const auto& c : cases) {
        auto window = start_window();
        EXPECT_EQ(next(*window), "redraw");  // the first frame is due at once
        events.assign(c.in.begin(), c.in.end());
        events.push_back(event(SDL_QUIT));
        std::string out;
        for (std::string m; (m = next(*window)) != "close";) out += (out.empty() ? "" : ", ") + m;
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(now_ms, 0u) << "it waited with events queued";
    }
}

TEST(window, redraws_keep_the_display_pace_and_rest_while_the_window_is_hidden) {
    // Steps: '.' takes a message, 's' stalls for a second, a digit queues that SDL window event
    // (1 shown, 2 hidden, 3 exposed, 7 minimised, 9 restored). Out: the messages with their times in ms.
    const struct { int hz; const char *steps, *out; } cases[] = {
        {60, "...s...", "redraw@0 redraw@16 redraw@32 redraw@1032 redraw@1048 redraw@1064"},
        {0, "...s...", "redraw@0 redraw@16 redraw@32 redraw@1032 redraw@1048 redraw@1064"},
        {144, "...s...", "redraw@0 redraw@6 redraw@12 redraw@1012 redraw@1018 redraw@1024"},
        {60, "..2...1..", "redraw@0 redraw@16 none@266 none@516 none@766 redraw@766 redraw@782"},
        {60, ".7..9..", "redraw@0 none@250 none@500 redraw@500 redraw@516"},
        {60, ".72.3..", "redraw@0 none@250 redraw@250 redraw@266"},
    };
    for (const auto& c : cases) {
        auto window = start_window(c.hz);
        std::string seen;
        for (const char* step = c.steps; *step; ++step) {
            if (*step == 's') now_ms += 1000;
            else if (*step != '.') events.push_back(window_event(*step - '0'));
            else seen += (seen.empty() ? "" : " ") + next(*window), seen += "@" + std::to_string(now_ms);
        }
        EXPECT_EQ(seen, c.out) << c.steps << " at " << c.hz << " Hz";
    }
}

TEST(window, present_copies_the_engine_image_into_any_surface_format) {
    start_headless_app();
    for (char key : {'t', 'l'}) send_message(GI_MSG_KEY, key);
    for (int i = 0; i < 40; ++i) draw_scene();
    const kgl_engine& image_source = *static_cast<kgl_engine*>(engine);
    std::vector<uint8_t> expected(320 * 240 * 3);
    glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
    engine_read_pixels(image_source, GL_RGB, expected.data());
    glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
    const struct {
        Uint32 format;
        int tolerance, pad, scale = 1;  // a channel of n bits is within 256 >> n; pad: extra bytes per row
    } cases[] = {
        {SDL_PIXELFORMAT_RGB888, 0, 0},   {SDL_PIXELFORMAT_RGB888, 0, 16}, {SDL_PIXELFORMAT_ARGB8888, 0, 0},
        {SDL_PIXELFORMAT_BGR888, 0, 0},   {SDL_PIXELFORMAT_ABGR8888, 0, 0}, {SDL_PIXELFORMAT_RGBA8888, 0, 0},
        {SDL_PIXELFORMAT_BGRA8888, 0, 0}, {SDL_PIXELFORMAT_RGB24, 0, 0},    {SDL_PIXELFORMAT_BGR24, 0, 4},
        {SDL_PIXELFORMAT_RGB565, 8, 0},   {SDL_PIXELFORMAT_BGR565, 8, 2},   {SDL_PIXELFORMAT_RGB555, 8, 0},
        {SDL_PIXELFORMAT_ARGB4444, 16, 0}, {SDL_PIXELFORMAT_RGB888, 0, 0, 2}, {SDL_PIXELFORMAT_RGB888, 0, 12, 8},
        {SDL_PIXELFORMAT_RGB24, 0, 0, 3}, {SDL_PIXELFORMAT_RGB565, 8, 2, 2},
    };
    std::vector<uint8_t> scratch;
    for (const auto& c : cases) {
        const int width = 320 * c.scale, height = 240 * c.scale, pitch = width * SDL_BYTESPERPIXEL(c.format) + c.pad;
        std::vector<uint8_t> pixels(pitch * height);
        SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), width, height, 0, pitch, c.format);
        ASSERT_TRUE(copy_engine_image(stand_in(), image_source, surface, scratch));
        std::vector<uint8_t> observed(width * height * 3);
        SDL_ConvertPixels(width, height, c.format, pixels.data(), pitch, SDL_PIXELFORMAT_RGB24, observed.data(), width * 3);
        for (int i = 0; i < width * height * 3; ++i) {  // each pixel of the view a scale x scale block
            const int x = i / 3 % width, y = i / 3 / width, e = expected[(y / c.scale * 320 + x / c.scale) * 3 + i % 3];
            if (std::abs(observed[i] - e) > c.tolerance) {
                ADD_FAILURE() << SDL_GetPixelFormatName(c.format) << " x" << c.scale << ": channel " << i % 3
                              << " of the pixel at (" << x << "," << y << ") is " << +observed[i] << ", not " << e;
                break;
            }
        }
        SDL_FreeSurface(surface);
    }
}
