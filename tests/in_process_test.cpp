// In process on the real engine: the message loop's quits and the handler's results; the window
// backend without a display, SDL's window, clock and event functions replaced by a stand-in (the
// rest is the real library), so SDL events go in and messages come out; and the present path
// into a surface of each pixel format SDL can hand out, against the engine's image. What keys,
// frames and the texture look like is checked by the pictures in cases/pictures.txt.
#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <deque>
#include <sstream>

#include "harness/in_process.h"
#include "platform/backend.h"
#include "platform/engine.h"
#include "platform/sdl_api.h"
#include "platform/window_present.h"
#include "scene/renderer.h"
#include "scene/view_state.h"
#include <gtest/gtest.h>

namespace {

std::deque<SDL_Event> events;
Uint64 now_ms;  // the stand-in's clock moves only while the backend waits on an empty queue
int refresh_rate;

int poll_event(SDL_Event* e) { return events.empty() ? 0 : (*e = events.front(), events.pop_front(), 1); }

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
        a.SDL_PollEvent = poll_event;
        a.SDL_WaitEventTimeout = [](SDL_Event* e, int ms) { return events.empty() ? (now_ms += ms, 0) : poll_event(e); };
        a.SDL_PeepEvents = [](SDL_Event* e, int, SDL_eventaction, Uint32, Uint32) { return events.empty() ? 0 : (*e = events.front(), 1); };
        return a;
    }();
    return api;
}

// One step: '.' takes a message ("what@ms"), 's' stalls for a second, 'q' quits, 'm' moves the
// mouse, 'wN' is SDL window event N (1 shown, 2 hidden, 3 exposed, 4 moved, 7 minimised,
// 9 restored), 'kKEY' and 'uKEY' press and release a key by SDL's name, 'tTEXT' types text;
// '_' stands for a space in a name or text. The window's display runs at hz.
std::string run(int hz, const std::string& steps) {
    setenv("SDL_VIDEODRIVER", "x11", 1);
    events.clear(), now_ms = 0, refresh_rate = hz;
    const std::unique_ptr<backend> window = make_window_backend(stand_in(), app_params{});
    std::string seen;
    std::istringstream in(steps);
    for (std::string step; in >> step;) {
        std::replace(step.begin(), step.end(), '_', ' ');
        SDL_Event e{};
        const std::string arg = step.substr(1);
        const SDL_Keycode key = arg.size() == 1 ? arg[0] : SDL_SCANCODE_TO_KEYCODE(SDL_GetScancodeFromName(arg.c_str()));
        e.key.keysym = {static_cast<SDL_Scancode>(key & ~SDLK_SCANCODE_MASK), key, 0, 0};
        e.type = std::string("qmwkut").find(step[0]) != std::string::npos
                     ? std::vector<Uint32>{SDL_QUIT, SDL_MOUSEMOTION, SDL_WINDOWEVENT, SDL_KEYDOWN, SDL_KEYUP, SDL_TEXTINPUT}[std::string("qmwkut").find(step[0])] : 0;
        if (step[0] == 'w') e.window.event = static_cast<Uint8>(std::stoi(arg));
        if (step[0] == 't') strcpy(e.text.text, arg.c_str());
        if (step == "s") now_ms += 1000;
        else if (message_record m{}; step == ".")
            seen += (seen.empty() ? "" : " ") + (!window->next_message(m, nullptr) ? "none" : m.type == GI_MSG_REDRAW ? "redraw"
                : m.type == GI_MSG_CLOSE ? "close" : m.character ? "key " + std::to_string(m.character) : "code " + std::to_string(m.code)),
            seen += "@" + std::to_string(now_ms);
        else events.push_back(e);
    }
    return seen;
}

}  // namespace

TEST(window, sdl_events_become_messages_at_the_display_pace_and_none_while_hidden) {
    const struct { int hz; const char *steps, *out; } cases[] = {
        {60, ". kl tl ul .", "redraw@0 key 108@0"},
        {60, ". kLeft_Shift kl tL kLeft_Ctrl k1 t1 . .", "redraw@0 key 76@0 key 49@0"},
        {60, ". kSpace t_ .", "redraw@0 key 32@0"},
        {60, ". kPageUp kPageDown kUp kDown kLeft kRight . . . . . .", "redraw@0 code 32@0 code 53@0 code 98@0 code 99@0 code 100@0 code 101@0"},
        {60, ". kF1 kKeypad_1 . .", "redraw@0 code 314@0 code 345@0"},  // 256 + scancode
        {60, ". kLeft_Ctrl kRight_Ctrl kLeft_Shift kRight_Shift kLeft_Alt kRight_Alt kLeft_GUI kRight_GUI kCapsLock kNumlock kScrollLock kModeSwitch q .", "redraw@0 close@0"},
        {60, ". t\xc3\xa9 tab t\xe2\x82\xac t\xf0\x9f\x98\x80 t\xc0 . . . . . .", "redraw@0 key 233@0 key 97@0 key 98@0 key 8364@0 key 128512@0 key 65533@0"},
        {60, ". w3 w4 m q . .", "redraw@0 redraw@0 close@0"},
        {60, ". . . s . . .", "redraw@0 redraw@16 redraw@32 redraw@1032 redraw@1048 redraw@1064"},
        {0, ". . . s . . .", "redraw@0 redraw@16 redraw@32 redraw@1032 redraw@1048 redraw@1064"},
        {144, ". . . s . . .", "redraw@0 redraw@6 redraw@12 redraw@1012 redraw@1018 redraw@1024"},
        {60, ". . w2 . . . w1 . .", "redraw@0 redraw@16 none@266 none@516 none@766 redraw@766 redraw@782"},
        {60, ". w7 . . w9 . .", "redraw@0 none@250 none@500 redraw@500 redraw@516"},
        {60, ". w7 w2 . w3 . .", "redraw@0 none@250 redraw@250 redraw@266"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.hz, c.steps), c.out) << c.steps << " at " << c.hz << " Hz";
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
    // A channel of n bits is within 256 >> n; pad: extra bytes per row; scale: KAVEX_SCALE.
    const struct { Uint32 format; int tolerance, pad, scale = 1; } cases[] = {
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

TEST(message_loop, only_a_quit_for_the_application_ends_it_and_a_close_posts_one) {
    start_scene(create_app("headless", "redraw; close; redraw 5"));
    int other = 0;
    GI_post_quit(&other);  // dispatched like any other message
    run_message_loop();
    EXPECT_EQ(view_state.y_rot, 0.5f) << "one frame before the close, none after";
    message_record m;
    EXPECT_EQ(GI_wait_message(&m, 0), 1) << "the close posted a second quit";
    EXPECT_EQ(m.type, GI_MSG_REDRAW);
    for (const auto& [type, character, code] : {std::tuple{170, 0, 0}, {2500, 'b', 0}, {2500, 0, 32},
                                                {2500, 0, 7}, {2700, 0, 0}, {0, 'l', 0}, {-1, 0, 0}})
        EXPECT_EQ(send_message(type, character, code), 0) << "message type " << type;
}
