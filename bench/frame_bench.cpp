// What a frame costs on the engine: the floor (a clear and a finish), the program's frame in
// its initial and heaviest states, and building the texture.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include "bench/figures.h"
#include "bench/scene_setup.h"
#include "scene/renderer.h"
#include "scene/texture.h"

namespace {

void floor_frame(benchmark::State& state) {
    start_scene();
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFlush();
        glFinish();
    }
}

void scene_frame(benchmark::State& state, bool heaviest) {
    start_scene();
    if (heaviest) set_heaviest_state();
    for (auto _ : state) {
        draw_scene();
        glFinish();
    }
}

void texture_build(benchmark::State& state) {
    start_scene();
    for (auto _ : state) {
        glDeleteTextures(1, &texture_id);
        build_texture();
        glFinish();
    }
}

}  // namespace

void register_frame_figures() {
    figure(benchmark::RegisterBenchmark("frame/floor", floor_frame));
    figure(benchmark::RegisterBenchmark("frame/scene_initial", scene_frame, false));
    figure(benchmark::RegisterBenchmark("frame/scene_heaviest", scene_frame, true));
    figure(benchmark::RegisterBenchmark("texture/build_texture", texture_build));
}
