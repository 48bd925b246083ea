#include "platform/gui/window/placement.h"

int fitting_scale(int asked, int width, int height, const SDL_Rect& usable) {
    int scale = asked;
    while (scale > 1 && (width * scale > usable.w || height * scale > usable.h)) --scale;
    return scale;
}
