#include "platform/gui/window/placement.h"

#include <algorithm>

namespace {

// One coordinate: at, for a window of size, in room from start.
int fit(int at, int size, int start, int room) {
    return size > room ? start : std::clamp(at, start, start + room - size);
}

}  // namespace

int fitting_scale(int asked, int width, int height, const SDL_Rect& usable) {
    int scale = asked;
    while (scale > 1 && (width * scale > usable.w || height * scale > usable.h)) --scale;
    return scale;
}

SDL_Point fitting_place(SDL_Point wanted, int width, int height, const SDL_Rect& usable) {
    return {fit(wanted.x, width, usable.x, usable.w), fit(wanted.y, height, usable.y, usable.h)};
}
