// The window's present path: the engine's image into an SDL surface, top row first, at the
// largest whole scale that fits the surface, centred on black, each pixel a square block.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gl/engine.h"
#include "platform/gui/window/sdl_api.h"

// What the present path keeps from one frame to the next for one window.
struct present_state {
    std::vector<uint8_t> scratch;
    // The surface whose margins were last painted black, by its pixels and size: margins are
    // painted once per surface, not every frame. Null where the next surface needs painting.
    void* framed = nullptr;
    int framed_width = 0;
    int framed_height = 0;
};

// Copies the engine's image into the surface in the surface's pixel format, enlarged by the
// largest whole factor that fits (at least 1, the top-left part where even that does not fit)
// and centred, the rest of the surface black; with status_text, the status layer over it
// (status_layer.h). False if the surface cannot be locked. Where changed is given, it is set to
// the part of the surface that changed: all of it where its margins were painted, else the
// rows the picture spans. Where memory for the scratch runs out, ends the process with status 1.
// Needs no window, so it can be measured alone.
bool copy_engine_image(const sdl_api& sdl, const kgl_engine& engine, SDL_Surface* surface,
                       present_state& state, const char* status_text = nullptr,
                       SDL_Rect* changed = nullptr);

// Reads the engine's image as BGRA, top row first, into pixels whose rows are pitch bytes
// apart (a multiple of 4), with the status layer's text over it where given.
void read_image(const kgl_engine& engine, uint8_t* pixels, int pitch, const char* status_text,
                present_state& state);
