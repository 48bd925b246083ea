#include "bench/bare_engine.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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
    EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY,
                                               nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr))
        die(1, "no EGL display");
    const EGLint config_attributes[] = {
        EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
        EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
        EGL_DEPTH_SIZE, 24, EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(display, config_attributes, &config, 1, &count) || count < 1)
        die(1, "no EGL config");
    const EGLint surface_attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, surface_attributes);
    const EGLint context_attributes[] = {EGL_NONE};
    EGLContext context = EGL_NO_CONTEXT;
    if (surface != EGL_NO_SURFACE && eglBindAPI(EGL_OPENGL_API))
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, context_attributes);
    if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, surface, surface, context))
        die(1, "no EGL context");
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
