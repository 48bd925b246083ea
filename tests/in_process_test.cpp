// In process on the real engine: the message loop's quits and the handler's results; the window
// backend without a display, SDL's window, clock and event functions replaced by a stand-in (the
// rest is the real library), so SDL events go in and messages come out; the present path
// into a surface of each pixel format SDL can hand out, against the engine's image; and where
// screenshots go. What keys, frames and the texture look like is checked by the pictures in
// cases/pictures.txt.
#include <GL/gl.h>
#include <SDL.h>

#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "harness/in_process.h"
#include "platform/backend.h"
#include "platform/engine.h"
#include "platform/sdl_api.h"
#include "platform/snap.h"
#include "platform/window_present.h"
#include "scene/renderer.h"
#include "scene/view_state.h"
#include <gtest/gtest.h>

namespace {

std::deque<SDL_Event> events;
Uint64 now_ms;  // the stand-in's clock moves only while the backend waits on an empty queue
int refresh_rate;
std::string seen;  // messages and what the backend did with the window, in order
std::string created;  // the window's size, and whether it opened fullscreen
Uint32 window_flags;

void note(const std::string& what) {
    seen += (seen.empty() ? "" : " ") + what + "@" + std::to_string(now_ms);
}

SDL_Window* create_window(const char*, int, int, int width, int height, Uint32 flags) {
    window_flags = flags;
    created = std::to_string(width) + "x" + std::to_string(height);
    if (flags & SDL_WINDOW_FULLSCREEN) created += " fullscreen";
    return reinterpret_cast<SDL_Window*>(&events);
}

int set_fullscreen(SDL_Window*, Uint32 flags) {
    window_flags = (window_flags & ~SDL_WINDOW_FULLSCREEN_DESKTOP) | flags;
    note(flags ? "fullscreen" : "windowed");
    return 0;
}

int usable_bounds(int, SDL_Rect* bounds) {
    *bounds = {0, 0, 960, 720};
    return 0;
}

int poll_event(SDL_Event* e) { return events.empty() ? 0 : (*e = events.front(), events.pop_front(), 1); }

const sdl_api& stand_in() {
    static sdl_api api = [] {
        std::string error;
        sdl_api a = *load_sdl(error);
        a.SDL_Init = [](Uint32) { return 0; };
        a.SDL_CreateWindow = create_window;
        a.SDL_SetWindowFullscreen = set_fullscreen;
        a.SDL_GetWindowFlags = [](SDL_Window*) { return window_flags; };
        a.SDL_GetDisplayUsableBounds = usable_bounds;
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
// 9 restored), 'kKEY' and 'uKEY' press and release a key by SDL's name (Alt+KEY, Ctrl+KEY with
// that modifier), 'rKEY' is a press that repeats a held key, 'tTEXT' types text; '_' stands for
// a space in a name or text. The window's display runs at hz.
std::string run(int hz, const std::string& steps) {
    setenv("SDL_VIDEODRIVER", "x11", 1);
    events.clear(), now_ms = 0, refresh_rate = hz, seen.clear();
    app_params params{};
    params.width = 320;
    params.height = 240;
    const std::unique_ptr<backend> window = make_window_backend(stand_in(), params);
    std::istringstream in(steps);
    for (std::string step; in >> step;) {
        std::replace(step.begin(), step.end(), '_', ' ');
        SDL_Event e{};
        const bool alt = step.find("Alt+") == 1;
        const bool ctrl = step.find("Ctrl+") == 1;
        const std::string arg = step.substr(alt || ctrl ? step.find('+') + 1 : 1);
        e.key.keysym.scancode = SDL_GetScancodeFromName(arg.c_str());
        e.key.keysym.sym = SDL_GetKeyFromName(arg.c_str());
        e.key.keysym.mod = alt ? KMOD_LALT : ctrl ? KMOD_LCTRL : 0;
        e.key.repeat = step[0] == 'r';
        e.type = std::string("qmwkutr").find(step[0]) != std::string::npos
                     ? std::vector<Uint32>{SDL_QUIT, SDL_MOUSEMOTION, SDL_WINDOWEVENT, SDL_KEYDOWN, SDL_KEYUP, SDL_TEXTINPUT, SDL_KEYDOWN}[std::string("qmwkutr").find(step[0])] : 0;
        if (step[0] == 'w') e.window.event = static_cast<Uint8>(std::stoi(arg));
        if (step[0] == 't') strcpy(e.text.text, arg.c_str());
        if (step == "s") now_ms += 1000;
        else if (message_record m{}; step == ".")
            note(!window->next_message(m, nullptr) ? "none" : m.type == GI_MSG_REDRAW ? "redraw"
                : m.type == GI_MSG_CLOSE ? "close" : m.character ? "key " + std::to_string(m.character) : "code " + std::to_string(m.code));
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
        {60, ". kF2 kKeypad_1 . .", "redraw@0 code 315@0 code 345@0"},  // 256 + scancode
        {60, ". kLeft_Ctrl kRight_Ctrl kLeft_Shift kRight_Shift kLeft_Alt kRight_Alt kLeft_GUI kRight_GUI kCapsLock kNumlock kScrollLock kModeSwitch q .", "redraw@0 close@0"},
        {60, ". t\xc3\xa9 tab t\xe2\x82\xac t\xf0\x9f\x98\x80 t\xc0 . . . . . .", "redraw@0 key 233@0 key 97@0 key 98@0 key 8364@0 key 128512@0 key 65533@0"},
        {60, ". w3 w4 m q . .", "redraw@0 redraw@0 close@0"},
        {60, ". . . s . . .", "redraw@0 redraw@16 redraw@32 redraw@1032 redraw@1048 redraw@1064"},
        {0, ". . . s . . .", "redraw@0 redraw@16 redraw@32 redraw@1032 redraw@1048 redraw@1064"},
        {144, ". . . s . . .", "redraw@0 redraw@6 redraw@12 redraw@1012 redraw@1018 redraw@1024"},
        {60, ". . w2 . . . w1 . .", "redraw@0 redraw@16 none@266 none@516 none@766 redraw@766 redraw@782"},
        {60, ". w7 . . w9 . .", "redraw@0 none@250 none@500 redraw@500 redraw@516"},
        {60, ". w7 w2 . w3 . .", "redraw@0 none@250 redraw@250 redraw@266"},
        // The window's own keys are no messages; Escape leaves fullscreen, else it is a key.
        {60, ". kF11 kEscape kEscape kAlt+Return kAlt+Keypad_Enter rF11 kReturn kF1 kF12 "
             "kPrintScreen kq tq kCtrl+q . . . .",
         "redraw@0 fullscreen@0 windowed@0 code 297@0 fullscreen@0 windowed@0 code 296@0 key 113@0 "
         "close@0"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.hz, c.steps), c.out) << c.steps << " at " << c.hz << " Hz";
}

TEST(window, opens_at_the_largest_scale_the_screen_takes_and_fullscreen_where_asked) {
    // The stand-in's screen: 960 x 720 usable.
    const struct { const char *scale, *fullscreen, *created; } cases[] = {
        {"8", "", "960x720"},
        {"3", "1", "960x720 fullscreen"},
        {"2", "0", "640x480"},
    };
    for (const auto& c : cases) {
        setenv("KAVEX_SCALE", c.scale, 1);
        setenv("KAVEX_FULLSCREEN", c.fullscreen, 1);
        run(60, ".");
        EXPECT_EQ(created, c.created) << "KAVEX_SCALE=" << c.scale;
    }
    unsetenv("KAVEX_SCALE");
    unsetenv("KAVEX_FULLSCREEN");
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
    // A channel of n bits is within 256 >> n; pad: extra bytes per row; scale: the picture's in
    // a surface of 320 x 240 times that, or of width x height with the picture at (left, top).
    const struct {
        Uint32 format;
        int tolerance, pad, scale = 1, width = 0, height = 0, left = 0, top = 0;
    } cases[] = {
        {SDL_PIXELFORMAT_RGB888, 0, 0},   {SDL_PIXELFORMAT_RGB888, 0, 16}, {SDL_PIXELFORMAT_ARGB8888, 0, 0},
        {SDL_PIXELFORMAT_BGR888, 0, 0},   {SDL_PIXELFORMAT_ABGR8888, 0, 0}, {SDL_PIXELFORMAT_RGBA8888, 0, 0},
        {SDL_PIXELFORMAT_BGRA8888, 0, 0}, {SDL_PIXELFORMAT_RGB24, 0, 0},    {SDL_PIXELFORMAT_BGR24, 0, 4},
        {SDL_PIXELFORMAT_RGB565, 8, 0},   {SDL_PIXELFORMAT_BGR565, 8, 2},   {SDL_PIXELFORMAT_RGB555, 8, 0},
        {SDL_PIXELFORMAT_ARGB4444, 16, 0}, {SDL_PIXELFORMAT_RGB888, 0, 0, 2}, {SDL_PIXELFORMAT_RGB888, 0, 12, 8},
        {SDL_PIXELFORMAT_RGB24, 0, 0, 3}, {SDL_PIXELFORMAT_RGB565, 8, 2, 2},
        {SDL_PIXELFORMAT_RGB888, 0, 4, 3, 1024, 768, 32, 24},
        {SDL_PIXELFORMAT_RGB888, 0, 4, 1, 700, 300, 190, 30},
        {SDL_PIXELFORMAT_RGB24, 0, 0, 2, 641, 481, 0, 0},
        {SDL_PIXELFORMAT_RGB565, 8, 2, 1, 639, 479, 159, 119},
    };
    for (const auto& c : cases) {
        const int width = c.width ? c.width : 320 * c.scale;
        const int height = c.height ? c.height : 240 * c.scale;
        const int pitch = width * SDL_BYTESPERPIXEL(c.format) + c.pad;
        std::vector<uint8_t> pixels(pitch * height, 0x55);
        SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), width, height, 0, pitch, c.format);
        present_state state;
        ASSERT_TRUE(copy_engine_image(stand_in(), image_source, surface, state));
        std::vector<uint8_t> observed(width * height * 3);
        SDL_ConvertPixels(width, height, c.format, pixels.data(), pitch, SDL_PIXELFORMAT_RGB24, observed.data(), width * 3);
        // Each pixel of the view a scale x scale block, black around.
        for (int i = 0; i < width * height * 3; ++i) {
            const int x = i / 3 % width - c.left;
            const int y = i / 3 / width - c.top;
            const bool in = x >= 0 && y >= 0 && x < 320 * c.scale && y < 240 * c.scale;
            const int e = in ? expected[(y / c.scale * 320 + x / c.scale) * 3 + i % 3] : 0;
            if (std::abs(observed[i] - e) > c.tolerance) {
                ADD_FAILURE() << SDL_GetPixelFormatName(c.format) << " x" << c.scale << " in "
                              << width << " x " << height << ": channel " << i % 3
                              << " of the pixel at (" << x + c.left << "," << y + c.top << ") is "
                              << +observed[i] << ", not " << e;
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

TEST(screenshot, goes_into_the_pictures_folder_under_a_name_no_file_has) {
    namespace fs = std::filesystem;
    start_headless_app();
    draw_scene();
    setenv("TZ", "UTC", 1);
    const std::string stamp = "kavex-view-20261130-120000";  // the time below
    const fs::path home = fs::temp_directory_path() / ("kavex-test-" + std::to_string(getpid()));
    // user-dirs.dirs in $HOME/.config, or in XDG_CONFIG_HOME=$HOME/config where config is set;
    // what ~/Pictures/kavex-view has before, by suffix ('f' a file, 'l' a link to nowhere); the
    // pictures folder the screenshot goes into, and its name's suffix.
    const struct { const char *config, *user_dirs, *before, *folder, *suffix; } cases[] = {
        {"", "", "", "Pictures", ""},
        {"", "XDG_PICTURES_DIR=\"$HOME/My \\\"Pics\\\"\"", "", "My \"Pics\"", ""},
        {"config", "XDG_PICTURES_DIR=\"$HOME/a\"\n  XDG_PICTURES_DIR=\"$HOME/b\"", "", "b", ""},
        {"", "XDG_PICTURES_DIR=\"Pics\"", "", "Pictures", ""},
        {"", "", "f f-2", "Pictures", "-3"},
        {"", "", "l", "Pictures", "-2"},
    };
    for (const auto& c : cases) {
        const fs::path config = home / (c.config[0] ? c.config : ".config");
        const fs::path folder = home / "Pictures/kavex-view";
        fs::create_directories(config);
        fs::create_directories(folder);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", c.config[0] ? config.c_str() : "", 1);
        std::ofstream(config / "user-dirs.dirs") << c.user_dirs;
        std::istringstream before(c.before);
        for (std::string file; before >> file;) {
            const fs::path name = folder / (stamp + file.substr(1) + ".png");
            if (file[0] == 'l')
                fs::create_symlink("nowhere", name);
            else
                std::ofstream(name) << "before";
        }
        testing::internal::CaptureStdout();
        take_screenshot(*static_cast<kgl_engine*>(engine), 1796040000);
        const fs::path saved = home / c.folder / "kavex-view" / (stamp + c.suffix + ".png");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), saved.string() + "\n");
        EXPECT_GT(fs::file_size(saved), 1000u) << saved;
        fs::remove_all(home);
    }
    unsetenv("XDG_CONFIG_HOME");
}
