#include "bench/bare_engine.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/platform.h"
#include "platform/png_writer.h"

namespace {
constexpr int width = 320;
constexpr int height = 240;

[[noreturn]] void die(int status, const char* what) {
    fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
    exit(status);
}
}  // namespace

void bare_engine_start() {
    // The platform's own binding, so the context is the program's to the attribute.
    gi_handle engine = kglCreateContext(width, height, 32);
    gi_handle context = engine ? kglCreateGLContext(engine, 1) : nullptr;
    if (!context || !kglMakeCurrent(engine, context, nullptr)) die(1, "no EGL context");
}

void bare_snap(const char* path) {
    static uint8_t rgb[width * height * 3];
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    std::string error;
    if (!write_png(path, rgb, width, height, error)) die(2, error.c_str());
}

long bare_frame_count(const char* text) {
    char* end = nullptr;
    const long count = text ? strtol(text, &end, 10) : -1;
    if (!text || *end || count < 0 || count > 10000000) die(2, "frame count must be 0..10000000");
    return count;
}
