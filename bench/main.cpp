// kavex-bench: the figures of a frame, presenting, snapping and the message path on the
// headless engine, each set against its own baseline measured in the same run, then the heap
// allocations of steady frames.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/app.h"
#include "bench/alloc_count.h"
#include "bench/figures.h"
#include "bench/message_path.h"
#include "bench/scene_setup.h"
#include "bench/window_present.h"
#include "scene/renderer.h"

namespace {

struct result {
    double seconds;  // real time per iteration, the median where there are repetitions
    benchmark::UserCounters counters;
};

// Whether a run failed or was skipped: Google Benchmark 1.8 replaced Run::error_occurred with
// Run::skipped, so the member that exists is the one used.
template <class Run>
auto failed(const Run& run, int) -> decltype(static_cast<bool>(run.skipped)) {
    return static_cast<bool>(run.skipped);
}
template <class Run>
bool failed(const Run& run, long) {
    return run.error_occurred;
}

// The console output, and each figure kept for the summary.
class collecting_reporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, result> results;

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (failed(run, 0)) continue;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            results[run.run_name.function_name] = {
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit),
                run.counters};
        }
    }
};

std::string duration(double seconds) {
    char text[32];
    if (seconds < 1e-6)
        snprintf(text, sizeof text, "%.0f ns", seconds * 1e9);
    else if (seconds < 1e-3)
        snprintf(text, sizeof text, "%.1f us", seconds * 1e6);
    else
        snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    return text;
}

void print_summary(const std::map<std::string, result>& results) {
    struct row {
        const char* label;
        const char* name;
        const char* baseline;  // the figure it is divided by, or null
        double limit;          // the target: a ratio with a baseline, else seconds; 0 for none
    };
    const row rows[] = {
        {"floor frame (clear, flush, finish)", "frame/floor", nullptr, 0},
        {"draw_scene + glFinish, initial", "frame/scene_initial", "frame/floor", 0},
        {"draw_scene + glFinish, heaviest", "frame/scene_heaviest", "frame/floor", 0},
        {"bare glReadPixels (BGRA)", "present/readback_bare", nullptr, 0},
        {"present: window path", "present/window_path", "present/readback_bare", 1.2},
        {"memcpy of 320 x 240 x 4 bytes", "present/memcpy_1x", nullptr, 0},
        {"memcpy of 1280 x 960 x 4 bytes", "present/memcpy_4x", nullptr, 0},
        {"memcpy of 2880 x 2160 x 4 bytes", "present/memcpy_9x", nullptr, 0},
        {"present at 1 x (320 x 240)", "present/window_path", "present/memcpy_1x", 0},
        {"present at 4 x (1280 x 960)", "present/window_path_4x", "present/memcpy_4x", 1.5},
        {"present at 9 x (2880 x 2160)", "present/window_path_9x", "present/memcpy_9x", 1.5},
        {"snap, initial frame", "snap/write_png_initial", nullptr, 3e-3},
        {"snap, heaviest frame", "snap/write_png_heaviest", nullptr, 3e-3},
        {"build_texture", "texture/build_texture", "frame/floor", 0},
        {"message path, per message", "message/redraw_path", nullptr, 2e-6},
    };
    start_scene();
    printf("\nSummary (median of 5 runs, real time) on %s, OpenGL %s\n",
           reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
           reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    printf("%-36s %10s %14s %16s %s\n", "figure", "time", "ratio", "target", "");
    for (const row& r : rows) {
        const auto found = results.find(r.name);
        if (found == results.end()) continue;
        const result& figure = found->second;
        std::string ratio, target, verdict;
        double measured = figure.seconds;
        if (r.baseline) {
            const auto base = results.find(r.baseline);
            if (base == results.end()) continue;
            measured = figure.seconds / base->second.seconds;
            char text[48];
            snprintf(text, sizeof text, "%.2f x %s", measured,
                     std::string(r.baseline).substr(std::string(r.baseline).find('/') + 1)
                         .c_str());
            ratio = text;
            if (r.limit > 0) {
                snprintf(text, sizeof text, "<= %.1f x", r.limit);
                target = text;
            }
        } else if (r.limit > 0) {
            target = "<= " + duration(r.limit);
        }
        if (r.limit > 0) verdict = measured <= r.limit ? "met" : "MISSED";
        const auto bytes = figure.counters.find("bytes");
        if (bytes != figure.counters.end())
            ratio = std::to_string(static_cast<long>(bytes->second.value)) + " bytes";
        printf("%-36s %10s %14s %16s %s\n", r.label, duration(figure.seconds).c_str(),
               ratio.c_str(), target.c_str(), verdict.c_str());
    }
}

// Heap allocations over steady frames, after the first frames have warmed every cache.
void count_allocations(const char* label, const std::function<void()>& frame,
                       int warm_up = 200, int frames = 1000) {
    for (int i = 0; i < warm_up; ++i) frame();
    glFinish();
    alloc_counting_begin();
    for (int i = 0; i < frames; ++i) frame();
    glFinish();
    const alloc_counts counts = alloc_counting_end();
    printf("%-44s %12llu %14llu %14llu  ", label,
           static_cast<unsigned long long>(counts.operator_new),
           static_cast<unsigned long long>(counts.malloc_this),
           static_cast<unsigned long long>(counts.malloc_other));
    for (const auto& [object, count] : counts.callers)
        printf("%s %llu; ", object.c_str(), static_cast<unsigned long long>(count));
    printf("\n");
}

SDL_Surface* surface;
present_state kept;
// The program's handler, then what the window backend does after every dispatch.
int handle_and_present(gi_handle target, message_record* message) {
    const int result = handle_message(target, message);
    copy_engine_image(window_sdl(), scene_engine(), surface, kept);
    return result;
}

void print_allocations() {
    surface = make_window_like_surface();
    const kgl_engine& image = scene_engine();
    const auto dispatch_one = [] {
        message_record message;
        GI_wait_message(&message, 0);
        GI_dispatch_message(message.target, &message);
    };
    printf("\nHeap allocations in 1000 steady frames (after 200 to warm up)\n");
    printf("%-44s %12s %14s %14s  %s\n", "", "operator new", "malloc (main)",
           "malloc (other)", "main thread's allocations by caller");

    start_scene();
    count_allocations("floor frame (clear, flush, finish)", [] {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFlush();
        glFinish();
    });
    start_scene();
    count_allocations("draw_scene + glFinish, initial", [] {
        draw_scene();
        glFinish();
    });
    start_scene();
    set_heaviest_state();
    count_allocations("draw_scene + glFinish, heaviest", [] {
        draw_scene();
        glFinish();
    });
    count_allocations("present: window path",
                      [&image] { copy_engine_image(window_sdl(), image, surface, kept); });
    start_app(count_message);
    count_allocations("message path (counting handler)", dispatch_one);
    start_app(handle_and_present);
    count_allocations("steady frame: message, handle_message, present", dispatch_one);
    start_app(handle_and_present);
    set_heaviest_state();
    count_allocations("the same in the heaviest state", dispatch_one);
    // With a display, the real window backend as well: SDL's event pump, the present into the
    // window surface and its update, paced at the display's rate.
    const char* display = getenv("DISPLAY");
    if (display && *display) {
        start_app(handle_message, true);
        printf("(in a window: 300 messages after 60 to warm up)\n");
        count_allocations("steady frame in a window (SDL on X11)", dispatch_one, 60, 300);
    }
    SDL_FreeSurface(surface);
}

}  // namespace

int main(int argc, char** argv) {
    register_frame_figures();
    register_present_figures();
    register_message_figures();
    register_png_figures();
    // Repetitions of different figures interleaved, so a change in the machine's load falls on
    // a figure and its baseline alike.
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    argc = static_cast<int>(args.size());
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    collecting_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_summary(reporter.results);
    print_allocations();
    benchmark::Shutdown();
    return 0;
}
