// Where the window opens on its screen: arithmetic on the screen's usable area.
#pragma once

#include <SDL.h>

// The largest scale up to asked whose window of width x height times it fits the usable area
// (at least 1).
int fitting_scale(int asked, int width, int height, const SDL_Rect& usable);

// The place nearest wanted where a window of width x height lies within the usable area: moved
// the least distance that fits it, or to the area's top left where the window is larger.
SDL_Point fitting_place(SDL_Point wanted, int width, int height, const SDL_Rect& usable);
