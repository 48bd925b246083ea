// The window's parts as functions of their inputs, without SDL running: the keyboard by events,
// the pacer by clock readings and the window's place by the screen's usable area.
#include <SDL.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/gui/window/keyboard.h"
#include "platform/gui/window/pacer.h"
#include "platform/gui/window/placement.h"
#include <gtest/gtest.h>

namespace {

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
        {"PageUp", false, false, "code 32"},
        {"Up", false, false, "code 98"},
        {"Left", false, false, "code 100"},
        {"F2", false, false, "code 315"},
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
        {"Ctrl+Q", false, false, "close"},
    };
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    for (const auto& c : cases) {
        const key_input input = read_key(event(c.event), c.text_behind ? &text : nullptr,
                                         c.fullscreen);
        EXPECT_EQ(input_of(input), c.input) << c.event;
    }
}

// Steps on a pacer of 16 ms begun at 0, each a letter and the time in ms: t (a frame is taken),
// w (what it says is left to wait), r (whether it rests), and the window events h (hidden),
// s (shown), e (exposed) and u (saying neither).
TEST(window, pacer) {
    const struct {
        const char *steps, *said;
    } cases[] = {
        {"w0 t0 w5 t16 w20", "0 11 12 "},
        {"t0 t20 w20", "12 "},  // a little late: the cadence holds
        {"t0 t50 w50", "16 "},  // a stall: a frame later, no burst
        {"t0 s5 w5", "11 "},
        {"t0 e5 w5", "16 "},
        {"h10 r10 u20 r20 t30 s300 r300 w300", "1 1 0 0 "},
    };
    for (const auto& c : cases) {
        frame_pacer pacer(16, 0);
        std::istringstream steps(c.steps);
        std::string said;
        char what;
        for (uint64_t now; steps >> what >> now;) {
            if (what == 't')
                pacer.take(now);
            else if (what == 'w')
                said += std::to_string(pacer.wait(now)) + " ";
            else if (what == 'r')
                said += std::to_string(pacer.resting()) + " ";
            else
                pacer.update(what == 'h'   ? visibility::hidden
                             : what == 's' ? visibility::shown
                                           : visibility::unknown,
                             what == 'e', now);
        }
        EXPECT_EQ(said, c.said) << c.steps;
    }
}

TEST(window, placement) {
    const struct {
        SDL_Rect usable;
        int asked, scale, x, y;
    } cases[] = {
        {{0, 0, 1024, 768}, 8, 3, 64, 48},
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
