#include "platform/gui/window/present.h"

#include <GL/gl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "platform/runtime/errors.h"

#include "platform/gui/window/status_layer.h"

namespace {

// Whether the GL can write the rows top first (GL_MESA_pack_invert): then the image needs no
// flipping and goes straight into the surface. One engine per run, so asked once.
bool can_read_top_first() {
    static const bool supported = [] {
        const auto* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        const char name[] = "GL_MESA_pack_invert";
        for (const char* s = list ? strstr(list, name) : nullptr; s; s = strstr(s + 1, name))
            if ((s == list || s[-1] == ' ') && (s[sizeof name - 1] == ' ' || !s[sizeof name - 1]))
                return true;
        return false;
    }();
    return supported;
}

// One row of 32-bit pixels with each pixel repeated scale times: four copies to a store where
// it can, which makes large scales a third cheaper than a store per copy.
void widen(const uint8_t* row, int width, int scale, uint8_t* out) {
    for (int x = 0; x < width; ++x, row += 4) {
        uint32_t pixel;
        memcpy(&pixel, row, 4);
        const uint32_t four[4] = {pixel, pixel, pixel, pixel};
        int copy = 0;
        for (; copy + 4 <= scale; copy += 4, out += 16) memcpy(out, four, 16);
        for (; copy < scale; ++copy, out += 4) memcpy(out, &pixel, 4);
    }
}

// Paints a surface black in any format the first time it is presented into: margins are
// painted once per surface, not every frame. Whether it did.
bool frame(SDL_Surface* surface, present_state& state) {
    auto* pixels = static_cast<uint8_t*>(surface->pixels);
    if (pixels == state.framed && surface->w == state.framed_width &&
        surface->h == state.framed_height)
        return false;
    memset(pixels, 0, static_cast<size_t>(surface->pitch) * surface->h);
    state.framed = pixels;
    state.framed_width = surface->w;
    state.framed_height = surface->h;
    return true;
}

// At scale 1 into BGRA: straight into the surface, with its row length where it is wider.
void read_straight_in(const kgl_engine& engine, uint8_t* corner, int pitch, const char* status) {
    const int row_length = pitch / 4 == engine.width ? 0 : pitch / 4;
    glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
    if (row_length) glPixelStorei(GL_PACK_ROW_LENGTH, row_length);
    engine_read_pixels(engine, GL_BGRA, corner);
    if (row_length) glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
    if (status) draw_status_layer(status, corner, pitch, engine.width, engine.height);
}

// Makes room for the image read into scratch, and a wide row of it at scale after it.
uint8_t* scratch(present_state& state, size_t stride, int height, int scale) {
    try {
        state.scratch.resize(stride * (height + scale));
    } catch (const std::bad_alloc&) {
        release_reserve();
        fail(1, "cannot show the picture: %s", strerror(ENOMEM));
    }
    return state.scratch.data();
}

// Otherwise the image is read once into scratch, and each row widened to the scale (in place
// where the surface is BGRA), converted to the surface's format where it is not, and copied
// down the rest of its block.
void read_and_widen(const sdl_api& sdl, const kgl_engine& engine, SDL_Surface* surface,
                    uint8_t* corner, int scale, bool bgra, present_state& state,
                    const char* status) {
    const size_t stride = static_cast<size_t>(engine.width) * 4;
    uint8_t* image = scratch(state, stride, engine.height, scale);
    engine_read_pixels(engine, bgra ? GL_BGRA : GL_RGBA, image);
    uint8_t* top = image + stride * (engine.height - 1);
    if (status)
        draw_status_layer(status, top, -static_cast<ptrdiff_t>(stride), engine.width,
                          engine.height);
    const int rows = std::min(engine.height, surface->h / scale);
    const int columns = std::min(engine.width * scale, surface->w);
    const size_t row_bytes = static_cast<size_t>(columns) * surface->format->BytesPerPixel;
    uint8_t* wide = image + stride * engine.height;
    for (int row = 0; row < rows; ++row) {
        const uint8_t* line = top - row * stride;
        uint8_t* target = corner + row * scale * surface->pitch;
        if (scale > 1) {  // scale 2 and more fit the surface whole: only scale 1 is ever cut
            widen(line, engine.width, scale, bgra ? target : wide);
            line = bgra ? target : wide;
        }
        if (!bgra)
            sdl.SDL_ConvertPixels(columns, 1, SDL_PIXELFORMAT_ABGR8888, line, stride * scale,
                                  surface->format->format, target, surface->pitch);
        else if (line != target)
            memcpy(target, line, row_bytes);
        for (int copy = 1; copy < scale; ++copy)
            memcpy(target + copy * surface->pitch, target, row_bytes);
    }
}

}  // namespace

void read_image(const kgl_engine& engine, uint8_t* pixels, int pitch, const char* status_text,
                present_state& state) {
    if (can_read_top_first()) return read_straight_in(engine, pixels, pitch, status_text);
    const size_t stride = static_cast<size_t>(engine.width) * 4;
    uint8_t* image = scratch(state, stride, engine.height, 0);
    engine_read_pixels(engine, GL_BGRA, image);
    for (int row = 0; row < engine.height; ++row)
        memcpy(pixels + row * pitch, image + (engine.height - 1 - row) * stride, stride);
    if (status_text) draw_status_layer(status_text, pixels, pitch, engine.width, engine.height);
}

bool copy_engine_image(const sdl_api& sdl, const kgl_engine& engine, SDL_Surface* surface,
                       present_state& state, const char* status_text, SDL_Rect* changed) {
    // XRGB/ARGB8888 is BGRA in memory on little-endian machines; anything else is converted.
    const Uint32 format = surface->format->format;
    const bool bgra = format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888;
    const int scale = std::max(1, std::min(surface->w / engine.width, surface->h / engine.height));
    const int x = std::max(0, (surface->w - engine.width * scale) / 2);
    const int y = std::max(0, (surface->h - engine.height * scale) / 2);
    if (SDL_MUSTLOCK(surface) && sdl.SDL_LockSurface(surface) != 0) return false;
    const bool framed = frame(surface, state);
    if (changed && framed)
        *changed = {0, 0, surface->w, surface->h};
    else if (changed)  // whole rows: a part of a row costs the X server more than all of it
        *changed = {0, y, surface->w, std::min(engine.height * scale, surface->h)};
    uint8_t* corner = static_cast<uint8_t*>(surface->pixels) + y * surface->pitch +
                      x * surface->format->BytesPerPixel;
    const bool fits = surface->w >= engine.width && surface->h >= engine.height;
    if (bgra && scale == 1 && fits && surface->pitch % 4 == 0 && can_read_top_first())
        read_straight_in(engine, corner, surface->pitch, status_text);
    else
        read_and_widen(sdl, engine, surface, corner, scale, bgra, state, status_text);
    if (SDL_MUSTLOCK(surface)) sdl.SDL_UnlockSurface(surface);
    return true;
}
