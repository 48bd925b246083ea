// In process: the window backend without a display, SDL's window, clock and event functions
// replaced by a stand-in (the rest is the real library), so that SDL events go in and messages
// come out; its present into surfaces of SDL's pixel formats and sizes, against the engine's
// image; where screenshots go; the script language read back from what its writer wrote; and
// the message loop's quits. What frames look like is checked by the pictures in cases/.
#include <GL/gl.h>
#include <SDL.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "harness/in_process.h"
#include "platform/gl/engine.h"
#include "platform/gui/backend.h"
#include "platform/gui/window/present.h"
#include "platform/gui/window/sdl_api.h"
#include "platform/pictures/snap.h"
#include "platform/runtime/settings.h"
#include "platform/session/script.h"
#include "scene/renderer.h"
#include "scene/view_state.h"
#include <gtest/gtest.h>

namespace {

// The golden pictures are llvmpipe's: the engine runs on it, whatever the machine's driver.
const bool on_llvmpipe =
    setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/usr/share/glvnd/egl_vendor.d/50_mesa.json", 1) +
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1) + setenv("GALLIUM_DRIVER", "llvmpipe", 1) ==
    0;

std::deque<SDL_Event> events;
Uint64 now_ms;  // the stand-in's clock moves only while the backend waits
int refresh_rate;
std::string seen;     // the messages and what the backend did to the window, in order
std::string created;  // the window's size, and whether it opened fullscreen
Uint32 window_flags;

void note(const std::string& what) {
    seen += (seen.empty() ? "" : " ") + what + "@" + std::to_string(now_ms);
}

// Fullscreen on the desktop's own video mode, or some other.
std::string fullscreen(Uint32 flags) {
    const Uint32 desktop = SDL_WINDOW_FULLSCREEN_DESKTOP;
    flags &= desktop;
    return flags == desktop ? "fullscreen" : flags ? "video mode" : "windowed";
}

SDL_Window* create_window(const char*, int, int, int width, int height, Uint32 flags) {
    window_flags = flags;
    created = std::to_string(width) + "x" + std::to_string(height) + " " + fullscreen(flags);
    return reinterpret_cast<SDL_Window*>(&events);
}

int set_fullscreen(SDL_Window*, Uint32 flags) {
    window_flags = flags;
    note(fullscreen(flags));
    return 0;
}

int usable_bounds(int, SDL_Rect* bounds) {
    *bounds = {0, 0, 1920, 1080};
    return 0;
}

int display_mode(int, SDL_DisplayMode* mode) {
    mode->refresh_rate = refresh_rate;
    return 0;
}

int poll_event(SDL_Event* event) {
    if (events.empty()) return 0;
    *event = events.front();
    events.pop_front();
    return 1;
}

int wait_event(SDL_Event* event, int ms) {
    if (events.empty()) now_ms += ms;
    return poll_event(event);
}

int peek_event(SDL_Event* event, int, SDL_eventaction, Uint32, Uint32) {
    if (events.empty()) return 0;
    *event = events.front();
    return 1;
}

SDL_Surface* window_surface(SDL_Window*) {
    static SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, 320, 240, 32, SDL_PIXELFORMAT_RGB888);
    return surface;
}

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
        a.SDL_GetCurrentDisplayMode = display_mode;
        a.SDL_GetPerformanceFrequency = []() -> Uint64 { return 1000; };
        a.SDL_GetPerformanceCounter = [] { return now_ms; };
        a.SDL_Delay = [](Uint32 ms) { now_ms += ms; };
        a.SDL_StartTextInput = [] {};
        a.SDL_GetWindowSurface = window_surface;
        a.SDL_PollEvent = poll_event;
        a.SDL_WaitEventTimeout = wait_event;
        a.SDL_PeepEvents = peek_event;
        return a;
    }();
    return api;
}

// The event a step stands for: 'q' quit, 'wN' window event N (1 shown, 2 hidden, 3 exposed,
// 7 minimised, 9 restored), 'kKEY' a key pressed ('kAlt+KEY', 'kCtrl+KEY' with the modifier),
// 'rKEY' the repeat of a held key, 'uKEY' a key released, 'tTEXT' text typed.
SDL_Event event_for(char kind, std::string name) {
    SDL_Event event{};
    event.type = kind == 'q'   ? SDL_QUIT
                 : kind == 'w' ? SDL_WINDOWEVENT
                 : kind == 't' ? SDL_TEXTINPUT
                 : kind == 'u' ? SDL_KEYUP
                               : SDL_KEYDOWN;
    if (kind == 'w') event.window.event = static_cast<Uint8>(std::stoi(name));
    if (kind == 't') name.copy(event.text.text, name.size());
    if (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP) return event;
    event.key.repeat = kind == 'r';
    const auto plus = name.find('+');
    if (plus != std::string::npos) event.key.keysym.mod = name[0] == 'A' ? KMOD_LALT : KMOD_LCTRL;
    name.erase(0, plus + 1);
    event.key.keysym.scancode = SDL_GetScancodeFromName(name.c_str());
    event.key.keysym.sym = SDL_GetKeyFromName(name.c_str());
    return event;
}

// Runs the window backend at hz through the steps: NAME=VALUE sets a variable for the run, '.'
// takes a message ("what@ms"), 's' stalls for a second, anything else is an event (above);
// '_' stands for a space. The window as it opens comes first, where it is not 320 x 240.
std::string run(int hz, const std::string& steps) {
    setenv("SDL_VIDEODRIVER", "x11", 1);
    events.clear();
    seen.clear();
    now_ms = 0;
    refresh_rate = hz;
    std::istringstream in(steps);
    std::vector<std::string> set;
    std::string step;
    for (in >> step; step.find('=') != std::string::npos; in >> step) {
        std::string value = step.substr(step.find('=') + 1);
        std::replace(value.begin(), value.end(), '_', ' ');
        set.push_back(step.substr(0, step.find('=')));
        setenv(set.back().c_str(), value.c_str(), 1);
    }
    app_params params{};
    params.width = 320;
    params.height = 240;
    char* argv[] = {program_invocation_name, nullptr};
    const settings& given = read_settings(1, argv);
    const std::unique_ptr<backend> window = make_window_backend(stand_in(), given, params);
    if (created != "320x240 windowed") note(created);
    do {
        std::replace(step.begin(), step.end(), '_', ' ');
        message_record m{};
        if (step == "s")
            now_ms += 1000;
        else if (step != ".")
            events.push_back(event_for(step[0], step.substr(1)));
        else if (!window->next_message(m, nullptr))
            note("none");
        else if (m.type != GI_MSG_KEY)
            note(m.type == GI_MSG_REDRAW ? "redraw" : m.type == GI_MSG_CLOSE ? "close" : "other");
        else if (m.character)
            note("key " + std::to_string(m.character));
        else
            note("code " + std::to_string(m.code));
    } while (in >> step);
    for (const std::string& name : set) unsetenv(name.c_str());
    return seen;
}

}  // namespace

TEST(window, takes_the_keyboard_or_a_script_at_the_display_pace_and_rests_while_hidden) {
    const struct {
        int hz;
        const char *steps, *messages;
    } cases[] = {
        {60, ". kl tl ul .", "redraw@0 key 108@0"},
        {60, ". kLeft_Shift kl tL kLeft_Ctrl k1 t1 . .", "redraw@0 key 76@0 key 49@0"},
        {60, ". kSpace t_ kPageUp kDown kRight kF2 . . . . .",
         "redraw@0 key 32@0 code 32@0 code 99@0 code 101@0 code 315@0"},
        {60, ". kCapsLock kLeft_Alt kRight_GUI kNumlock q .", "redraw@0 close@0"},
        {60, ". t\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xc0 . . . .",
         "redraw@0 key 233@0 key 8364@0 key 128512@0 key 65533@0"},
        {144, ". . . s . .", "redraw@0 redraw@6 redraw@12 redraw@1012 redraw@1018"},
        {0, ". . w3 .", "redraw@0 redraw@16 redraw@16"},
        {60, ". . w2 . . w1 . .", "redraw@0 redraw@16 none@266 none@516 redraw@516 redraw@532"},
        {60, ". w7 . w9 . .", "redraw@0 none@250 redraw@250 redraw@266"},
        // The largest scale the screen takes (it is 1920 x 1080), and fullscreen from the start.
        {60, "KAVEX_SCALE=5 .", "1280x960 windowed@0 redraw@0"},
        {60, "KAVEX_SCALE=4 KAVEX_FULLSCREEN=1 .", "1280x960 fullscreen@0 redraw@0"},
        // A script plays at the display's pace, and typed keys do nothing.
        {60, "KAVEX_SCRIPT=key_t;redraw_2;code_99;message_7 . kx tx . . . . . .",
         "key 116@0 redraw@0 redraw@16 code 99@32 other@32 close@32 close@32"},
        // The window's own keys are no messages; Escape leaves fullscreen, else it is a key.
        {60, ". kF11 kEscape kEscape kAlt+Return kAlt+Keypad_Enter rF11 kReturn kF1 kq tq "
             "kCtrl+q . . . .",
         "redraw@0 fullscreen@0 windowed@0 code 297@0 fullscreen@0 windowed@0 code 296@0 "
         "key 113@0 close@0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(c.hz, c.steps), c.messages) << c.steps << " at " << c.hz << " Hz";
}

// The present into surfaces of some of SDL's pixel formats and of sizes whose picture is at
// scale 1, 2 and 3, centred or not; one of them with the status layer. Each against a golden
// picture (KAVEX_UPDATE_PICTURES=1 writes them again), within a channel's steps of 8 bits.
TEST(window, present_shows_the_picture_in_whole_pixel_blocks_centred_on_black) {
    ASSERT_TRUE(on_llvmpipe);
    start_in_process();
    for (char key : {'m', 'a'}) send_message(GI_MSG_KEY, key);  // changes that do not show
    draw_scene();
    char status[128];
    ASSERT_GT(GI_status_text(status, sizeof status), 0u);
    const struct {
        Uint32 format;
        int width, height, pad;
        const char *status, *golden;
    } cases[] = {
        {SDL_PIXELFORMAT_RGB888, 320, 240, 0, status, "present-status-layer"},
        {SDL_PIXELFORMAT_RGB888, 1024, 768, 4, nullptr, "present-1024x768"},
        {SDL_PIXELFORMAT_ARGB8888, 700, 300, 0, nullptr, "present-700x300"},
        {SDL_PIXELFORMAT_BGR24, 641, 481, 4, nullptr, "present-641x481"},
    };
    for (const auto& c : cases) {
        const int pitch = c.width * SDL_BYTESPERPIXEL(c.format) + c.pad;
        std::vector<uint8_t> pixels(pitch * c.height, 0x55);
        SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), c.width,
                                                                  c.height, 0, pitch, c.format);
        present_state state;
        ASSERT_TRUE(copy_engine_image(stand_in(), *static_cast<kgl_engine*>(engine), surface,
                                      state, c.status));
        SDL_FreeSurface(surface);
        std::vector<uint8_t> observed(c.width * c.height * 3);
        SDL_ConvertPixels(c.width, c.height, c.format, pixels.data(), pitch,
                          SDL_PIXELFORMAT_RGB24, observed.data(), c.width * 3);
        const std::string golden = SOURCE_DIR "/tests/pictures/" + std::string(c.golden) + ".png";
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        png.format = PNG_FORMAT_RGB;
        png.width = c.width;
        png.height = c.height;
        if (getenv("KAVEX_UPDATE_PICTURES"))
            png_image_write_to_file(&png, golden.c_str(), 0, observed.data(), 0, nullptr);
        png_image read{};
        read.version = PNG_IMAGE_VERSION;
        std::vector<uint8_t> expected(observed.size());
        ASSERT_TRUE(png_image_begin_read_from_file(&read, golden.c_str())) << golden;
        read.format = PNG_FORMAT_RGB;
        ASSERT_TRUE(png_image_finish_read(&read, nullptr, expected.data(), 0, nullptr));
        for (size_t i = 0; i < observed.size(); ++i) {
            if (std::abs(observed[i] - expected[i]) <= 3) continue;
            const std::string failed = "failed-pictures/" + std::string(c.golden) + ".png";
            std::filesystem::create_directories("failed-pictures");
            png_image_write_to_file(&png, failed.c_str(), 0, observed.data(), 0, nullptr);
            ADD_FAILURE() << c.golden << ": probe color at (" << i / 3 % c.width << ","
                          << i / 3 / c.width << "), channel " << i % 3 << ": expected "
                          << +expected[i] << ", observed " << +observed[i] << "; see " << failed;
            break;
        }
    }
}

TEST(screenshot, goes_into_the_pictures_folder_under_a_name_no_file_has) {
    start_in_process();
    draw_scene();
    setenv("TZ", "UTC", 1);
    const std::string home = "/tmp/kavex-test-" + std::to_string(getpid());
    // A shell command that readies the home folder (S is where the screenshot goes by default,
    // but for its .png), and where the screenshot goes. XDG_CONFIG_HOME names .c.
    const struct {
        const char *setup, *saved;
    } cases[] = {
        {"", "Pictures/kavex-view/kavex-view-20261130-120000.png"},
        {"touch $S.png $S-2.png", "Pictures/kavex-view/kavex-view-20261130-120000-3.png"},
        {"ln -s nowhere $S.png", "Pictures/kavex-view/kavex-view-20261130-120000-2.png"},
        {"printf 'XDG_PICTURES_DIR=$HOME/a\\nXDG_PICTURES_DIR=\"$HOME/My Pics\"'"
         " > .c/user-dirs.dirs",
         "My Pics/kavex-view/kavex-view-20261130-120000.png"},
        {"echo XDG_PICTURES_DIR=Pics > .config/user-dirs.dirs",
         "Pictures/kavex-view/kavex-view-20261130-120000.png"},
    };
    for (const auto& c : cases) {
        const std::string config = strstr(c.setup, ".c/") ? home + "/.c" : "";
        const std::string setup = "mkdir -p " + home + "/.c " + home + "/.config " + home +
                                  "/Pictures/kavex-view && cd " + home +
                                  " && S=Pictures/kavex-view/kavex-view-20261130-120000; " +
                                  c.setup;
        ASSERT_EQ(std::system(setup.c_str()), 0) << setup;
        std::string error;
        const saved_picture saved = take_screenshot(*static_cast<kgl_engine*>(engine), 1796040000,
                                                    home.c_str(), config.c_str(), error);
        EXPECT_EQ(saved.folder + "/" + saved.name, home + "/" + c.saved) << error;
        EXPECT_GT(std::filesystem::file_size(home + "/" + c.saved), 1000u) << c.saved;
        std::filesystem::remove_all(home);
    }
}

// A session of more frames in a row than a script line can say, then the characters the
// language keeps for itself: what the writer makes of them reads back the same.
TEST(script, reads_back_what_its_writer_wrote) {
    script_writer writer;
    std::string lines;
    message_record m{};
    m.type = GI_MSG_REDRAW;
    for (int32_t i = 0; i <= max_redraw_count; ++i) writer.add(m, lines);
    m.type = GI_MSG_KEY;
    for (const int32_t character : {int32_t{'#'}, int32_t{';'}, int32_t{' '}, 0x10FFFF}) {
        m.character = character;
        writer.add(m, lines);
    }
    writer.end(lines);
    std::vector<script_command> commands;
    std::string error;
    ASSERT_TRUE(parse_script(lines, commands, error)) << error;
    std::string read;
    for (const script_command& c : commands) read += std::to_string(c.value) + " ";
    EXPECT_EQ(read, "1000000 1 35 59 32 1114111 ") << lines;
}

TEST(message_loop, only_a_quit_for_the_application_ends_it_and_a_close_posts_one) {
    start_in_process("redraw; close; redraw 5");
    int other = 0;
    GI_post_quit(&other);  // dispatched like any other message
    run_message_loop();
    EXPECT_EQ(view_state.y_rot, 0.5f) << "one frame before the close, none after";
    message_record m;
    EXPECT_EQ(GI_wait_message(&m, 0), 1) << "the close posted a second quit";
    EXPECT_EQ(m.type, GI_MSG_REDRAW);
}
