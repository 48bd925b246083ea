#include "bench/bare_engine.h"

#include <GL/gl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <time.h>

#include "platform/platform.h"
#include "platform/png_writer.h"

namespace {
constexpr int width = 320;
constexpr int height = 240;

[[noreturn]] void die(int status, const char* what) {
    fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
    exit(status);
}
}  // namespace

int bare_main(int argc, char** argv, void (*setup)(), void (*frame)()) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: %s FRAMES [PATH]\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    const long frames = strtol(argv[1], &end, 10);
    if (end == argv[1] || *end || frames < 0 || frames > 10000000) die(2, "frame count must be 0..10000000");

    // The platform's own binding, so the context is the program's to the attribute.
    gi_handle engine = kglCreateContext(width, height, 32);
    gi_handle context = engine ? kglCreateGLContext(engine, 1) : nullptr;
    if (!context || !kglMakeCurrent(engine, context, nullptr)) die(1, "no EGL context");

    // KAVEX_BARE_HZ=N paces the frames as a window would, sleeping to each Nth of a second,
    // to show what the sleep alone adds to a frame's cost.
    const char* hz_text = getenv("KAVEX_BARE_HZ");
    const long hz = hz_text ? strtol(hz_text, &end, 10) : 0;
    if (hz_text && (end == hz_text || *end || hz < 1 || hz > 1000)) die(2, "KAVEX_BARE_HZ must be 1..1000");
    setup();
    timespec tick;
    clock_gettime(CLOCK_MONOTONIC, &tick);
    for (long i = 0; i < frames; ++i) {
        frame();
        if (!hz) continue;
        tick.tv_nsec += 1000000000 / hz;
        if (tick.tv_nsec >= 1000000000) tick.tv_nsec -= 1000000000, ++tick.tv_sec;
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &tick, nullptr) == EINTR) {}
    }
    glFinish();
    if (argc == 3) {
        static uint8_t rgb[width * height * 3];
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        std::string error;
        if (!write_png(argv[2], rgb, width, height, error)) die(2, error.c_str());
    }
    return 0;
}
