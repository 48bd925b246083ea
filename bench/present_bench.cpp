// Presenting: the window backend's copy of the engine's image into an XRGB8888 surface,
// against the bare read-back of the same image in the same format.
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/figures.h"
#include "bench/scene_setup.h"
#include "bench/window_present.h"
#include "scene/renderer.h"

const sdl_api& window_sdl() {
    std::string error;
    const sdl_api* sdl = load_sdl(error);
    if (!sdl) {
        fprintf(stderr, "cannot load SDL2: %s\n", error.c_str());
        exit(1);
    }
    return *sdl;
}

SDL_Surface* make_window_like_surface() {
    return SDL_CreateRGBSurfaceWithFormat(0, 320, 240, 32, SDL_PIXELFORMAT_RGB888);
}

namespace {

const kgl_engine& drawn_frame() {
    start_scene();
    draw_scene();
    glFinish();
    return scene_engine();
}

void readback_bare(benchmark::State& state) {
    const kgl_engine& engine = drawn_frame();
    std::vector<uint8_t> pixels(static_cast<size_t>(engine.width) * engine.height * 4);
    for (auto _ : state) {
        glReadPixels(0, 0, engine.width, engine.height, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
        benchmark::ClobberMemory();
    }
}

// Whether the surface holds the engine's image top row first, as the window must show it.
bool shows_engine_image(const kgl_engine& engine, const SDL_Surface* surface) {
    const size_t stride = static_cast<size_t>(engine.width) * 4;
    std::vector<uint8_t> bottom_up(stride * engine.height);
    glReadPixels(0, 0, engine.width, engine.height, GL_BGRA, GL_UNSIGNED_BYTE, bottom_up.data());
    for (int y = 0; y < engine.height; ++y)
        if (memcmp(static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch,
                   &bottom_up[(engine.height - 1 - y) * stride], stride) != 0)
            return false;
    return true;
}

void present(benchmark::State& state) {
    const kgl_engine& engine = drawn_frame();
    SDL_Surface* surface = make_window_like_surface();
    std::vector<uint8_t> scratch;
    if (!copy_engine_image(window_sdl(), engine, surface, scratch) || !shows_engine_image(engine, surface))
        state.SkipWithError("the window path does not copy the image top row first");
    for (auto _ : state) {
        if (!copy_engine_image(window_sdl(), engine, surface, scratch)) state.SkipWithError("cannot lock");
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(surface);
}

}  // namespace

void register_present_figures() {
    figure(benchmark::RegisterBenchmark("present/readback_bare", readback_bare));
    figure(benchmark::RegisterBenchmark("present/window_path", present));
}
