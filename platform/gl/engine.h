// The GL engine behind the kgl handles: an EGL display, a 320 x 240 pbuffer and the context
// that draws into it. The GUI library reads the engine's image from here.
#pragma once

#include <EGL/egl.h>

#include <cstdint>
#include <string>

struct kgl_engine {
    EGLDisplay display;
    EGLConfig config;
    EGLSurface surface;
    int width;
    int height;
    EGLContext context = EGL_NO_CONTEXT;  // the one kglMakeCurrent last made current on it
};

struct kgl_context {
    EGLContext context;
    kgl_engine* engine;
};

// Mesa's settings for every GL in the process, the engine's and any other library's (SDL's
// renderer): before any starts, since Mesa reads them when it does. Where the user set one,
// it stays.
void prepare_gl();

// Reads the engine's current image in the GL pixel format (GL_RGB, GL_RGBA, GL_BGRA, ...),
// bottom row first, tightly packed. The engine's context must be current.
void engine_read_pixels(const kgl_engine& engine, unsigned format, uint8_t* out);

// Makes the engine's context current again, after a library (SDL drawing the window surface
// on Wayland) has made its own current on this thread.
void engine_make_current(const kgl_engine& engine);

// Why the last kglCreateContext or kglCreateGLContext failed ("EGL: eglInitialize failed:
// EGL_NOT_INITIALIZED", "out of memory"), or null.
const char* engine_failure();

// Lines that say which GL draws: its vendor, renderer and version, and EGL's version. The
// engine's context must be current.
std::string engine_description(const kgl_engine& engine);

// Lets an engine (kglCreateContext's) and its context go, EGL's objects with them; either may be
// null. The program never does; the tests and benchmarks that start it again in one process do.
void engine_release(void* engine, void* context);

// The engine that kglMakeCurrent last made current for app, or null.
const kgl_engine* engine_for(const void* app);
