// The window's present path: the engine's image into an SDL surface, top row first, each pixel
// a square block where the surface is a whole multiple of the image's size (KAVEX_SCALE).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/engine.h"
#include "platform/sdl_api.h"

// Copies the engine's image into the surface in the surface's pixel format, enlarged by the
// largest whole factor that fits; false if the surface cannot be locked. Where memory for the
// scratch runs out, ends the process with status 1. Needs no window, so it can be measured
// alone.
bool copy_engine_image(const sdl_api& sdl, const kgl_engine& engine, SDL_Surface* surface,
                       std::vector<uint8_t>& scratch);
