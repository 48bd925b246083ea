// kavex-bench: what the program costs around its frames' own GL calls, in process on the
// headless engine, started as main starts it: a frame, presenting it into a window's surface
// at scales 1, 4 and 9 (against a memcpy of as many bytes), a snap (against libpng's simplified
// writer), and the message path; then the heap allocations of steady frames.
#include <GL/gl.h>
#include <benchmark/benchmark.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/allocations.h"
#include "harness/in_process.h"
#include "platform/gl/engine.h"
#include "platform/gui/window/present.h"
#include "platform/pictures/png_writer.h"
#include "scene/renderer.h"

namespace {

// A script of redraws longer than any run.
const std::string redraws = "redraw 1000000\n";

const kgl_engine& the_engine() { return *static_cast<const kgl_engine*>(engine); }

// The program started afresh; with heaviest, in the heaviest state the keyboard can reach (the
// keys handed straight to the application).
void start(bool heaviest = false, const std::string& script = "#") {
    start_in_process(script);
    if (!heaviest) return;
    for (const char key : std::string("ltfba")) {
        message_record message{app, GI_MSG_KEY, key, 0, 0, {}};
        handle_message(app, &message);
    }
}

void floor_frame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFlush();
    glFinish();
}

void scene_frame() {
    draw_scene();
    glFinish();
}

void frame(benchmark::State& state, void (*one_frame)(), bool heaviest) {
    start(heaviest);
    for (auto _ : state) one_frame();
}

// A surface like the window's on an X server of depth 24.
SDL_Surface* window_surface(int scale) {
    return SDL_CreateRGBSurfaceWithFormat(0, 320 * scale, 240 * scale, 32,
                                          SDL_PIXELFORMAT_RGB888);
}

const sdl_api& sdl() {
    std::string error;
    static const sdl_api* loaded = load_sdl(error);
    return *loaded;
}

void present(benchmark::State& state, int scale) {
    start();
    scene_frame();
    SDL_Surface* surface = window_surface(scale);
    present_state kept;
    for (auto _ : state) copy_engine_image(sdl(), the_engine(), surface, kept);
    SDL_FreeSurface(surface);
}

void copy(benchmark::State& state, int scale) {
    std::vector<uint8_t> from(320 * 240 * 4 * scale * scale, 1);
    std::vector<uint8_t> to(from.size());
    for (auto _ : state) {
        memcpy(to.data(), from.data(), from.size());
        benchmark::ClobberMemory();
    }
}

// The picture after the default script's 90 frames, bottom row first, as a snap reads it.
std::vector<uint8_t> picture(bool heaviest) {
    start(heaviest);
    for (int i = 0; i < 90; ++i) draw_scene();
    std::vector<uint8_t> rgb(320 * 240 * 3);
    engine_read_pixels(the_engine(), GL_RGB, rgb.data());
    return rgb;
}

void snap(benchmark::State& state, bool heaviest, bool simplified) {
    const std::vector<uint8_t> rgb = picture(heaviest);
    const std::string path = "/tmp/kavex-bench-" + std::to_string(getpid()) + ".png";
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 320;
    image.height = 240;
    image.format = PNG_FORMAT_RGB;
    std::string error;
    for (auto _ : state)
        if (simplified ? !png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), -960,
                                                  nullptr)
                       : !write_png(path, rgb.data(), 320, 240, error))
            state.SkipWithError("cannot write the picture");
    FILE* file = fopen(path.c_str(), "rb");
    if (file && fseek(file, 0, SEEK_END) == 0) state.counters["bytes"] = ftell(file);
    if (file) fclose(file);
    unlink(path.c_str());
}

long messages_handled;

int count_message(gi_handle, message_record*) {
    ++messages_handled;
    return 0;
}

// One message through the GUI library: wait for it, dispatch it.
void dispatch_one() {
    message_record message;
    GI_wait_message(&message, 0);
    GI_dispatch_message(message.target, &message);
}

// A redraw from the headless backend's script through the GUI library to a handler that only
// counts, so that no GL work is measured.
void message_path(benchmark::State& state) {
    start(false, redraws);
    static_cast<app_record*>(app)->params.handler = count_message;
    messages_handled = 0;
    for (auto _ : state) dispatch_one();
    if (messages_handled != static_cast<long>(state.iterations()))
        state.SkipWithError("not every message was dispatched");
}

// Real time, since the engine's threads may do part of the work; the median of five runs,
// interleaved, as other processes share the cores.
void add(const char* name, const std::function<void(benchmark::State&)>& run) {
    benchmark::RegisterBenchmark(name, run)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();
}

void register_figures() {
    add("frame/floor", [](benchmark::State& s) { frame(s, floor_frame, false); });
    add("frame/scene_initial", [](benchmark::State& s) { frame(s, scene_frame, false); });
    add("frame/scene_heaviest", [](benchmark::State& s) { frame(s, scene_frame, true); });
    for (int scale : {1, 4, 9}) {
        const std::string size = std::to_string(scale) + "x";
        add(("present/" + size).c_str(), [scale](benchmark::State& s) { present(s, scale); });
        add(("memcpy/" + size).c_str(), [scale](benchmark::State& s) { copy(s, scale); });
    }
    add("snap/initial", [](benchmark::State& s) { snap(s, false, false); });
    add("snap/heaviest", [](benchmark::State& s) { snap(s, true, false); });
    add("snap/simplified_initial", [](benchmark::State& s) { snap(s, false, true); });
    add("snap/simplified_heaviest", [](benchmark::State& s) { snap(s, true, true); });
    add("message/redraw_path", message_path);
}

// Heap allocations over 1000 steady frames, after 200 have warmed every cache.
void count_allocations(const char* label, const std::function<void()>& step) {
    for (int i = 0; i < 200; ++i) step();
    glFinish();
    start_counting();
    for (int i = 0; i < 1000; ++i) step();
    glFinish();
    const allocation_counts counts = stop_counting();
    printf("%-46s %12lu %14lu %15lu\n", label, counts.operator_new, counts.malloc_here,
           counts.malloc_elsewhere);
}

void print_allocations() {
    printf("\nHeap allocations in 1000 steady frames (after 200)  operator new  malloc (main)"
           "  malloc (other)\n");
    SDL_Surface* surface = window_surface(1);
    present_state kept;
    const auto presented = [&] { copy_engine_image(sdl(), the_engine(), surface, kept); };
    start();
    count_allocations("draw_scene + glFinish", scene_frame);
    count_allocations("present at 1 x", presented);
    start(false, redraws);
    count_allocations("steady frame: message, handle_message, present", [&] {
        dispatch_one();
        presented();
    });
    SDL_FreeSurface(surface);
}

}  // namespace

int main(int argc, char** argv) {
    register_figures();
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    benchmark::RunSpecifiedBenchmarks();
    print_allocations();
    benchmark::Shutdown();
    return 0;
}
