// The keyboard: an SDL event, and the one queued behind it, as the program's input. A function
// of the events alone, so that it can be tested without SDL running.
#pragma once

#include <SDL.h>

#include <cstdint>

// The keys the window keeps for itself; the program never sees them.
enum class window_key { none, fullscreen, screenshot, status_layer, close };

struct key_input {
    window_key key = window_key::none;
    int count = 0;  // key messages, one a character; a press without one makes one message
    int32_t characters[SDL_TEXTINPUTEVENT_TEXT_SIZE] = {};  // 0: a key without a character
    uint16_t code = 0;                                      // its key code
};

// What a key press or typed text means: one of the window's keys, key messages, or nothing.
// Escape leaves fullscreen, so it is the window's only while fullscreen is on.
key_input read_key(const SDL_Event& event, const SDL_Event* next, bool fullscreen);
