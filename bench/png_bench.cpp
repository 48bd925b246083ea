// Snaps: the PNG writer on typical frames, and a survey of the encoder settings it could use
// (time and size, encoded in memory) that its own settings were picked from.
#include <GL/gl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench/figures.h"
#include "bench/scene_setup.h"
#include "platform/engine.h"
#include "platform/png_writer.h"
#include "scene/renderer.h"

namespace {

// The picture after the default script's 90 frames, as a snap reads it.
const std::vector<uint8_t>& frame_rgb(bool heaviest) {
    static std::vector<uint8_t> frames[2];
    std::vector<uint8_t>& rgb = frames[heaviest];
    if (rgb.empty()) {
        start_scene();
        if (heaviest) set_heaviest_state();
        for (int i = 0; i < 90; ++i) draw_scene();
        rgb.resize(320 * 240 * 3);
        engine_read_pixels(scene_engine(), GL_RGB, rgb.data());
    }
    return rgb;
}

void snap(benchmark::State& state, bool heaviest) {
    const std::vector<uint8_t>& rgb = frame_rgb(heaviest);
    char dir[] = "/tmp/kavex-bench-XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("cannot create a scratch directory in /tmp");
        return;
    }
    const std::string path = std::string(dir) + "/snap.png";
    std::string error;
    for (auto _ : state)
        if (!write_png(path, rgb.data(), 320, 240, error)) state.SkipWithError(error.c_str());
    struct stat st {};
    stat(path.c_str(), &st);
    state.counters["bytes"] = static_cast<double>(st.st_size);
    unlink(path.c_str());
    rmdir(dir);
}

struct settings {
    int level;
    int filters;
    int strategy;
};

void append(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flush(png_structp) {}

// The writer's encoding with other settings, into memory.
bool encode(const std::vector<uint8_t>& rgb, const settings& s, std::vector<uint8_t>& out) {
    out.clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, append, flush);
    png_set_compression_level(png, s.level);
    png_set_compression_strategy(png, s.strategy);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, s.filters);
    png_set_IHDR(png, info, 320, 240, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 239; y >= 0; --y) png_write_row(png, const_cast<uint8_t*>(&rgb[y * 960]));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

void survey(benchmark::State& state, bool heaviest, settings s) {
    const std::vector<uint8_t>& rgb = frame_rgb(heaviest);
    std::vector<uint8_t> out;
    out.reserve(320 * 240 * 4);
    for (auto _ : state)
        if (!encode(rgb, s, out)) state.SkipWithError("libpng failed");
    state.counters["bytes"] = static_cast<double>(out.size());
}

}  // namespace

void register_png_figures() {
    figure(benchmark::RegisterBenchmark("snap/write_png_initial", snap, false));
    figure(benchmark::RegisterBenchmark("snap/write_png_heaviest", snap, true));

    const struct {
        const char* name;
        int mask;
    } filters[] = {{"none", PNG_FILTER_NONE}, {"sub", PNG_FILTER_SUB}, {"up", PNG_FILTER_UP},
                   {"paeth", PNG_FILTER_PAETH}, {"all", PNG_ALL_FILTERS}};
    const struct {
        const char* name;
        int value;
    } strategies[] = {{"default", Z_DEFAULT_STRATEGY}, {"rle", Z_RLE}};
    for (bool heaviest : {false, true}) {
        const std::string frame = heaviest ? "heaviest" : "initial";
        benchmark::RegisterBenchmark(("png_survey/" + frame + "/level0/none").c_str(), survey,
                                     heaviest, settings{0, PNG_FILTER_NONE, Z_DEFAULT_STRATEGY})
            ->MinTime(0.05);
        for (int level : {1, 6, 9})
            for (const auto& f : filters)
                for (const auto& st : strategies)
                    benchmark::RegisterBenchmark(
                        ("png_survey/" + frame + "/level" + std::to_string(level) + "/" + f.name +
                         "/" + st.name).c_str(),
                        survey, heaviest, settings{level, f.mask, st.value})
                        ->MinTime(0.05);
    }
}
