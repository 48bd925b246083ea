// The window backend's present path without the window: defined in
// platform/backend_window.cpp, which keeps no header of its own for it.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "platform/engine.h"

bool copy_engine_image(const kgl_engine& engine, SDL_Surface* surface,
                       std::vector<uint8_t>& scratch);

// A surface like the window's on an X server of depth 24: XRGB8888.
SDL_Surface* make_window_like_surface();
