#include "platform/window_present.h"

#include <GL/gl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "platform/errors.h"

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

}  // namespace

bool copy_engine_image(const sdl_api& sdl, const kgl_engine& engine, SDL_Surface* surface,
                       std::vector<uint8_t>& scratch) {
    // XRGB/ARGB8888 is BGRA in memory on little-endian machines; anything else is converted.
    const Uint32 format = surface->format->format;
    const bool bgra = format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888;
    // A surface of a whole multiple of the view's size shows each pixel as a square block.
    const int scale = std::max(1, std::min(surface->w / engine.width, surface->h / engine.height));
    if (SDL_MUSTLOCK(surface) && sdl.SDL_LockSurface(surface) != 0) return false;
    if (bgra && surface->w == engine.width && surface->h == engine.height &&
        surface->pitch == engine.width * 4 && can_read_top_first()) {
        glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
        engine_read_pixels(engine, GL_BGRA, static_cast<uint8_t*>(surface->pixels));
        glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
    } else {
        const size_t stride = static_cast<size_t>(engine.width) * 4;
        try {
            scratch.resize(stride * (engine.height + scale));  // the image, then one enlarged row
        } catch (const std::bad_alloc&) {
            release_reserve();
            fail(1, "cannot show the picture: %s", strerror(ENOMEM));
        }
        engine_read_pixels(engine, bgra ? GL_BGRA : GL_RGBA, scratch.data());
        uint8_t* wide = scratch.data() + stride * engine.height;
        const int rows = std::min(engine.height, surface->h / scale);
        const int columns = std::min(engine.width * scale, surface->w);
        const size_t row_bytes = static_cast<size_t>(columns) * surface->format->BytesPerPixel;
        for (int y = 0; y < rows; ++y) {
            const uint8_t* row = scratch.data() + (engine.height - 1 - y) * stride;
            if (scale > 1) {
                for (int x = 0; x < engine.width * scale; ++x)
                    memcpy(wide + x * 4, row + x / scale * 4, 4);
                row = wide;
            }
            auto* target = static_cast<uint8_t*>(surface->pixels) + y * scale * surface->pitch;
            if (bgra)
                memcpy(target, row, row_bytes);
            else
                sdl.SDL_ConvertPixels(columns, 1, SDL_PIXELFORMAT_ABGR8888, row, stride * scale,
                                      format, target, surface->pitch);
            for (int copy = 1; copy < scale; ++copy)
                memcpy(target + copy * surface->pitch, target, row_bytes);
        }
    }
    if (SDL_MUSTLOCK(surface)) sdl.SDL_UnlockSurface(surface);
    return true;
}
