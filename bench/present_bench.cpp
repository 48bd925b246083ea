// Presenting: the window backend's copy of the engine's image into an XRGB8888 surface, at
// scale 1 against the bare read-back of the same image in the same format, and at scales 1, 4
// and 9 (2880 x 2160, fullscreen on a 3840 x 2160 screen) against a memcpy of as many bytes
// as the surface holds.
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

SDL_Surface* make_window_like_surface(int scale) {
    return SDL_CreateRGBSurfaceWithFormat(0, 320 * scale, 240 * scale, 32, SDL_PIXELFORMAT_RGB888);
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

// Whether the surface holds the engine's image top row first, each pixel a scale x scale block.
bool shows_engine_image(const kgl_engine& engine, const SDL_Surface* surface, int scale) {
    const size_t stride = static_cast<size_t>(engine.width) * 4;
    std::vector<uint8_t> bottom_up(stride * engine.height);
    glReadPixels(0, 0, engine.width, engine.height, GL_BGRA, GL_UNSIGNED_BYTE, bottom_up.data());
    for (int y = 0; y < engine.height * scale; ++y)
        for (int x = 0; x < engine.width * scale; ++x)
            if (memcmp(static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch + x * 4,
                       &bottom_up[(engine.height - 1 - y / scale) * stride + x / scale * 4],
                       3) != 0)
                return false;
    return true;
}

void present(benchmark::State& state, int scale) {
    const kgl_engine& engine = drawn_frame();
    SDL_Surface* surface = make_window_like_surface(scale);
    present_state kept;
    if (!copy_engine_image(window_sdl(), engine, surface, kept) ||
        !shows_engine_image(engine, surface, scale))
        state.SkipWithError("the window path does not show the image top row first in blocks");
    for (auto _ : state) {
        if (!copy_engine_image(window_sdl(), engine, surface, kept))
            state.SkipWithError("cannot lock");
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(surface);
}

void copy_as_many_bytes(benchmark::State& state, int scale) {
    const size_t bytes = static_cast<size_t>(320 * scale) * (240 * scale) * 4;
    std::vector<uint8_t> from(bytes, 1);
    std::vector<uint8_t> to(bytes, 0);
    for (auto _ : state) {
        memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
}

}  // namespace

void register_present_figures() {
    figure(benchmark::RegisterBenchmark("present/readback_bare", readback_bare));
    figure(benchmark::RegisterBenchmark("present/window_path", present, 1));
    figure(benchmark::RegisterBenchmark("present/window_path_4x", present, 4));
    figure(benchmark::RegisterBenchmark("present/window_path_9x", present, 9));
    figure(benchmark::RegisterBenchmark("present/memcpy_1x", copy_as_many_bytes, 1));
    figure(benchmark::RegisterBenchmark("present/memcpy_4x", copy_as_many_bytes, 4));
    figure(benchmark::RegisterBenchmark("present/memcpy_9x", copy_as_many_bytes, 9));
}
