// The window backend's present path without the window, for measuring it alone.
#pragma once

#include "platform/window_present.h"

// SDL as the window backend loads it; the benchmark ends if it cannot be loaded.
const sdl_api& window_sdl();

// A surface like the window's on an X server of depth 24: XRGB8888, 320 x 240 times scale.
SDL_Surface* make_window_like_surface(int scale = 1);
