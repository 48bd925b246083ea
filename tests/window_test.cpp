// The window's parts as functions of their inputs, without SDL running: the keyboard by events,
// the pacer by clock readings and the window's place by the screen's usable area; the present
// into surfaces of SDL's pixel formats and sizes, against the engine's own picture; and the
// status layer's words for each state.
#include <GL/gl.h>
#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "harness/in_process.h"
#include "platform/gl/engine.h"
#include "platform/gui/window/keyboard.h"
#include "platform/gui/window/pacer.h"
#include "platform/gui/window/placement.h"
#include "platform/gui/window/present.h"
#include "platform/runtime/settings.h"
#include "scene/renderer.h"
#include <gtest/gtest.h>

namespace {

// The golden pictures are llvmpipe's: the engine runs on it, whatever the machine's driver.
const bool on_llvmpipe =
    setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/usr/share/glvnd/egl_vendor.d/50_mesa.json", 1) +
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1) + setenv("GALLIUM_DRIVER", "llvmpipe", 1) ==
    0;

// A key event written as "[r:]Mod+Key" (r: a repeat) or "text:TEXT".
SDL_Event event(const std::string& written) {
    SDL_Event e{};
    if (written.compare(0, 5, "text:") == 0) {
        e.type = SDL_TEXTINPUT;
        written.copy(e.text.text, written.size() - 5, 5);
        return e;
    }
    e.type = SDL_KEYDOWN;
    e.key.repeat = written.compare(0, 2, "r:") == 0;
    std::string name = written.substr(e.key.repeat ? 2 : 0);
    const auto plus = name.find('+', 1);
    if (plus != std::string::npos) e.key.keysym.mod = name[0] == 'A' ? KMOD_LALT : KMOD_LCTRL;
    name.erase(0, plus == std::string::npos ? 0 : plus + 1);
    e.key.keysym.scancode = SDL_GetScancodeFromName(name.c_str());
    e.key.keysym.sym = SDL_GetKeyFromName(name.c_str());
    return e;
}

std::string input_of(const key_input& input) {
    const char* keys[] = {"", "fullscreen", "screenshot", "status layer", "close"};
    std::string said = keys[static_cast<int>(input.key)];
    for (int i = 0; i < input.count; ++i)
        said += (said.empty() ? "" : " ") +
                (input.characters[i] ? "key " + std::to_string(input.characters[i])
                                     : "code " + std::to_string(input.code));
    return said;
}

}  // namespace

TEST(window, keyboard) {
    const struct {
        const char* event;
        bool text_behind;  // a text event is queued behind the press
        bool fullscreen;
        const char* input;
    } cases[] = {
        {"L", true, false, ""},  // the text behind it carries the character
        {"text:l", false, false, "key 108"},
        {"Ctrl+1", true, false, ""},
        {"text: ", false, false, "key 32"},
        {"Left Shift", false, false, ""},
        {"CapsLock", false, false, ""},
        {"PageUp", false, false, "code 32"},
        {"PageDown", false, false, "code 53"},
        {"Up", false, false, "code 98"},
        {"Down", false, false, "code 99"},
        {"Left", false, false, "code 100"},
        {"Right", false, false, "code 101"},
        {"F2", false, false, "code 315"},
        {"Return", false, false, "code 296"},
        {"text:\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xc0", false, false,
         "key 233 key 8364 key 128512 key 65533"},
        {"F11", false, false, "fullscreen"},
        {"r:F11", false, false, ""},
        {"Alt+Return", false, false, "fullscreen"},
        {"Alt+Keypad Enter", false, true, "fullscreen"},
        {"Escape", false, true, "fullscreen"},
        {"Escape", false, false, "code 297"},
        {"F12", false, false, "screenshot"},
        {"PrintScreen", false, false, "screenshot"},
        {"F1", false, false, "status layer"},
        {"Q", true, false, ""},
        {"Ctrl+Q", false, false, "close"},
        {"r:Ctrl+Q", false, false, "close"},
    };
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    for (const auto& c : cases) {
        const key_input input = read_key(event(c.event), c.text_behind ? &text : nullptr,
                                         c.fullscreen);
        EXPECT_EQ(input_of(input), c.input) << c.event;
    }
}

// Steps "what@ms" on a pacer of 16 ms begun at 0: take (a frame is taken), wait (what it says
// is left), hide, show, unknown and expose (window events), rest (whether it rests).
TEST(window, pacer) {
    const struct {
        const char *steps, *said;
    } cases[] = {
        {"wait@0 take@0 wait@5 take@16 wait@20", "0 11 12"},
        {"take@0 take@20 wait@20", "12"},  // a little late: the cadence holds
        {"take@0 take@50 wait@50", "16"},  // a stall: a frame later, no burst
        {"take@0 show@5 wait@5", "11"},
        {"take@0 expose@5 wait@5", "16"},
        {"hide@10 rest@10 unknown@20 rest@20 take@30 show@300 rest@300 wait@300", "1 1 0 0"},
    };
    for (const auto& c : cases) {
        frame_pacer pacer(16, 0);
        std::istringstream steps(c.steps);
        std::string said;
        for (std::string step; steps >> step;) {
            const std::string what = step.substr(0, step.find('@'));
            const uint64_t now = std::stoul(step.substr(step.find('@') + 1));
            const visibility seen = what == "hide"   ? visibility::hidden
                                    : what == "show" ? visibility::shown
                                                     : visibility::unknown;
            if (what == "take") pacer.take(now);
            if (what == "wait") said += std::to_string(pacer.wait(now)) + " ";
            if (what == "rest") said += std::to_string(pacer.resting()) + " ";
            if (what != "take" && what != "wait" && what != "rest")
                pacer.update(seen, what == "expose", now);
        }
        EXPECT_EQ(said, std::string(c.said) + " ") << c.steps;
    }
}

TEST(window, placement) {
    const struct {
        SDL_Rect usable;
        int asked, scale, x, y;
    } cases[] = {
        {{0, 0, 1920, 1080}, 5, 4, 200, 60},
        {{0, 0, 1024, 768}, 8, 3, 64, 48},
        {{0, 0, 640, 400}, 2, 1, 200, 60},  // the height binds
        {{0, 0, 640, 480}, 2, 2, 0, 0},     // a window that just fits
        {{100, 100, 1000, 700}, 1, 1, 200, 100},
        {{0, 0, 400, 300}, 1, 1, 80, 60},
        {{10, 20, 300, 200}, 1, 1, 10, 20},  // smaller than the window: its top left
    };
    for (const auto& c : cases) {
        const int scale = fitting_scale(c.asked, 320, 240, c.usable);
        const SDL_Point at = fitting_place({200, 60}, 320 * scale, 240 * scale, c.usable);
        EXPECT_EQ(std::vector<int>({scale, at.x, at.y}), std::vector<int>({c.scale, c.x, c.y}))
            << c.usable.w << " x " << c.usable.h << " at " << c.usable.x << ", " << c.usable.y;
    }
}

// The present into surfaces of some of SDL's pixel formats and sizes whose picture is at scale
// 1, 2 and 3, centred or not: the engine's image in blocks, on black (the status layer's look
// is the desktop test's). The first present into a surface changes all of it (its margins go
// black), the next only the rows the picture spans.
TEST(window, present) {
    ASSERT_TRUE(on_llvmpipe);
    start_in_process();
    draw_scene();
    std::vector<uint8_t> image(320 * 240 * 3);  // bottom row first
    engine_read_pixels(*static_cast<kgl_engine*>(engine), GL_RGB, image.data());
    const struct {
        Uint32 format;
        int width, height, pad, scale;
        SDL_Rect rows;
    } cases[] = {
        {SDL_PIXELFORMAT_RGB888, 320, 240, 0, 1, {0, 0, 320, 240}},
        {SDL_PIXELFORMAT_RGB888, 1024, 768, 4, 3, {0, 24, 1024, 720}},
        {SDL_PIXELFORMAT_ARGB8888, 700, 300, 0, 1, {0, 30, 700, 240}},
        {SDL_PIXELFORMAT_BGR24, 641, 481, 4, 2, {0, 0, 641, 480}},
    };
    std::string error;
    const sdl_api& sdl = *load_sdl(error);
    for (const auto& c : cases) {
        const int pitch = c.width * SDL_BYTESPERPIXEL(c.format) + c.pad;
        std::vector<uint8_t> pixels(pitch * c.height, 0x55);
        SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), c.width,
                                                                  c.height, 0, pitch, c.format);
        present_state state;
        SDL_Rect changed[2];
        for (SDL_Rect& rect : changed)
            ASSERT_TRUE(copy_engine_image(sdl, *static_cast<kgl_engine*>(engine), surface, state,
                                          nullptr, &rect));
        SDL_FreeSurface(surface);
        const SDL_Rect a = changed[0], b = changed[1], r = c.rows;
        EXPECT_EQ(std::vector<int>({a.x, a.y, a.w, a.h, b.x, b.y, b.w, b.h}),
                  std::vector<int>({0, 0, c.width, c.height, r.x, r.y, r.w, r.h}));
        std::vector<uint8_t> shown(c.width * c.height * 3);
        SDL_ConvertPixels(c.width, c.height, c.format, pixels.data(), pitch,
                          SDL_PIXELFORMAT_RGB24, shown.data(), c.width * 3);
        const int left = (c.width - 320 * c.scale) / 2, top = (c.height - 240 * c.scale) / 2;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const int u = (x - left) / c.scale, v = (y - top) / c.scale;
                const bool inside = x >= left && y >= top && u < 320 && v < 240;
                const uint8_t black[3] = {};
                const uint8_t* want = inside ? &image[((239 - v) * 320 + u) * 3] : black;
                ASSERT_EQ(memcmp(&shown[(y * c.width + x) * 3], want, 3), 0)
                    << c.width << " x " << c.height << " at (" << x << ", " << y << ")";
            }
        }
    }
}

TEST(window, status_layer_words) {
    const struct {
        const char *keys, *words;
    } cases[] = {
        {"", "GL_DECAL\nall off"},
        {"ma", "GL_MODULATE\nadditive "},
        {"mmltfb", "GL_BLEND\nlighting blending texture linear filtering"},
    };
    for (const auto& c : cases) {
        start_in_process();
        for (const char* key = c.keys; *key; ++key) send_message(GI_MSG_KEY, *key);
        char text[128];
        EXPECT_EQ(std::string(text, GI_status_text(text, sizeof text)), c.words) << c.keys;
    }
}
