#include "platform/gui/window/keyboard.h"

#include <algorithm>
#include <string_view>

#include "platform/platform.h"
#include "platform/runtime/utf8.h"

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

window_key window_key_for(const SDL_Keysym& key, bool fullscreen) {
    switch (key.sym) {
    case SDLK_F11: return window_key::fullscreen;
    case SDLK_RETURN: case SDLK_KP_ENTER:
        return key.mod & KMOD_ALT ? window_key::fullscreen : window_key::none;
    case SDLK_ESCAPE: return fullscreen ? window_key::fullscreen : window_key::none;
    case SDLK_F12: case SDLK_PRINTSCREEN: return window_key::screenshot;
    case SDLK_F1: return window_key::status_layer;
    case SDLK_q: return key.mod & KMOD_CTRL ? window_key::close : window_key::none;
    default: return window_key::none;
    }
}

uint16_t code_for(const SDL_Keysym& key) {
    switch (key.sym) {
    case SDLK_PAGEUP: return GI_KEY_PAGE_UP;
    case SDLK_PAGEDOWN: return GI_KEY_PAGE_DOWN;
    case SDLK_UP: return GI_KEY_UP;
    case SDLK_DOWN: return GI_KEY_DOWN;
    case SDLK_LEFT: return GI_KEY_LEFT;
    case SDLK_RIGHT: return GI_KEY_RIGHT;
    default: return static_cast<uint16_t>(unbound_code_base + key.scancode);
    }
}

// Typed text, a key message a character; malformed UTF-8 is a replacement character.
key_input typed(std::string_view text) {
    key_input input;
    while (!text.empty() && input.count < SDL_TEXTINPUTEVENT_TEXT_SIZE) {
        int32_t& character = input.characters[input.count++];
        const size_t length = decode_utf8(text, character);
        if (!length) character = 0xFFFD;
        text.remove_prefix(std::max<size_t>(length, 1));
    }
    return input;
}

}  // namespace

key_input read_key(const SDL_Event& event, const SDL_Event* next, bool fullscreen) {
    if (event.type == SDL_TEXTINPUT) return typed(event.text.text);
    key_input input;
    if (event.type != SDL_KEYDOWN) return input;
    const SDL_Keysym& key = event.key.keysym;
    input.key = window_key_for(key, fullscreen);
    if (input.key != window_key::none) {
        // Once a press, but Ctrl+Q, which closes however it comes.
        if (event.key.repeat && input.key != window_key::close) input.key = window_key::none;
        return input;
    }
    // A press that types text has its text event queued right behind it (SDL makes both from
    // one X key event), and that carries the character. Which presses type text depends on the
    // layout and modifiers (Ctrl+1 types "1", Shift+keypad 1 nothing), so it is read from the
    // queue rather than guessed.
    if (is_modifier(key.sym) || (next && next->type == SDL_TEXTINPUT)) return input;
    input.count = 1;
    input.code = code_for(key);
    return input;
}
