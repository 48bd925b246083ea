// The GL context binding: Mesa through EGL on the surfaceless platform, so no display is
// needed. The engine is a pbuffer the size of the view; the GUI library asks which engine is
// bound to its application and shows its image. Nothing here calls back into the platform.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "platform/gl/engine.h"
#include "platform/platform.h"

namespace {

char failure[96];  // why the engine or context could not be made; empty after a success

// The engine kglMakeCurrent last made current, and the application it was made current for.
kgl_engine* bound_engine;
const void* bound_app;

// Sets one of Mesa's variables, where the user set none.
void default_to(const char* name, const char* value) {
    const char* set = getenv(name);
    if (!set || !*set) setenv(name, value, 1);
}

// Notes the EGL call that failed and EGL's error; returns null for the caller to return.
std::nullptr_t failed(const char* call) {
    static const char* const names[] = {
        "EGL_SUCCESS", "EGL_NOT_INITIALIZED", "EGL_BAD_ACCESS", "EGL_BAD_ALLOC",
        "EGL_BAD_ATTRIBUTE", "EGL_BAD_CONFIG", "EGL_BAD_CONTEXT", "EGL_BAD_CURRENT_SURFACE",
        "EGL_BAD_DISPLAY", "EGL_BAD_MATCH", "EGL_BAD_NATIVE_PIXMAP", "EGL_BAD_NATIVE_WINDOW",
        "EGL_BAD_PARAMETER", "EGL_BAD_SURFACE", "EGL_CONTEXT_LOST"};
    const EGLint error = eglGetError();
    if (error > EGL_SUCCESS && error - EGL_SUCCESS < EGLint(sizeof names / sizeof *names))
        snprintf(failure, sizeof failure, "EGL: %s failed: %s", call, names[error - EGL_SUCCESS]);
    else
        snprintf(failure, sizeof failure, "EGL: %s failed", call);
    return nullptr;
}

// Notes a success, or memory that ran out.
template <typename T>
T* made(T* object) {
    snprintf(failure, sizeof failure, "%s", object ? "" : "out of memory");
    return object;
}

}  // namespace

void prepare_gl() {
    // A 320 x 240 frame is too small to gain from llvmpipe's rasterizer threads, and so is the
    // window's present of it: handing the work to them and waiting costs more CPU than doing
    // it on this thread, and the pictures are the same. A value the user set stays.
    default_to("LP_NUM_THREADS", "0");
    // EGL's loader writes lines of its own where a driver does not load (and when memory runs
    // out, names a file that is there as missing); the program says what failed instead.
    default_to("EGL_LOG_LEVEL", "fatal");
}

extern "C" gi_handle kglCreateContext(int width, int height, int bits_per_pixel) {
    // Widths that are a multiple of 4 keep RGB rows 4-byte aligned for reading back.
    if (width <= 0 || width % 4 != 0 || height <= 0 || bits_per_pixel != 32) return nullptr;
    // The GUI library prepared it before SDL's GL; an engine made without it needs it too.
    prepare_gl();
    EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY,
                                               nullptr);
    if (display == EGL_NO_DISPLAY) return failed("eglGetPlatformDisplay");
    if (!eglInitialize(display, nullptr, nullptr)) return failed("eglInitialize");

    const EGLint config_attributes[] = {
        EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
        EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
        EGL_DEPTH_SIZE, 24, EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(display, config_attributes, &config, 1, &count) || count < 1)
        return failed("eglChooseConfig");
    const EGLint surface_attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, surface_attributes);
    if (surface == EGL_NO_SURFACE) return failed("eglCreatePbufferSurface");
    return made(new (std::nothrow) kgl_engine{display, config, surface, width, height});
}

extern "C" gi_handle kglCreateGLContext(gi_handle engine_handle, int) {
    auto* engine = static_cast<kgl_engine*>(engine_handle);
    if (!engine) return nullptr;
    if (!eglBindAPI(EGL_OPENGL_API)) return failed("eglBindAPI");
    // No version requested: the driver's compatibility profile, with the fixed-function pipeline.
    const EGLint attributes[] = {EGL_NONE};
    EGLContext context = eglCreateContext(engine->display, engine->config, EGL_NO_CONTEXT,
                                          attributes);
    if (context == EGL_NO_CONTEXT) return failed("eglCreateContext");
    return made(new (std::nothrow) kgl_context{context, engine});
}

const char* engine_failure() { return failure[0] ? failure : nullptr; }

extern "C" int kglMakeCurrent(gi_handle engine_handle, gi_handle context_handle, gi_handle app) {
    auto* engine = static_cast<kgl_engine*>(engine_handle);
    auto* context = static_cast<kgl_context*>(context_handle);
    if (!engine || !context) return 0;
    if (!eglMakeCurrent(engine->display, engine->surface, engine->surface, context->context))
        return 0;
    engine->context = context->context;
    bound_engine = engine;
    bound_app = app;
    return 1;
}

void engine_release(void* engine_handle, void* context_handle) {
    auto* engine = static_cast<kgl_engine*>(engine_handle);
    auto* context = static_cast<kgl_context*>(context_handle);
    if (engine) {
        if (engine == bound_engine) {
            eglMakeCurrent(engine->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            bound_engine = nullptr;
            bound_app = nullptr;
        }
        if (context) eglDestroyContext(engine->display, context->context);
        eglDestroySurface(engine->display, engine->surface);
    }
    delete context;
    delete engine;
}

const kgl_engine* engine_for(const void* app) { return app == bound_app ? bound_engine : nullptr; }

void engine_make_current(const kgl_engine& engine) {
    eglBindAPI(EGL_OPENGL_API);
    eglMakeCurrent(engine.display, engine.surface, engine.surface, engine.context);
}

void engine_read_pixels(const kgl_engine& engine, unsigned format, uint8_t* out) {
    // The width is a multiple of 4, so rows need no padding at the default pack alignment and
    // the GL's pack state is left alone.
    glReadPixels(0, 0, engine.width, engine.height, format, GL_UNSIGNED_BYTE, out);
}

std::string engine_description(const kgl_engine& engine) {
    const auto gl = [](GLenum name) {
        const GLubyte* text = glGetString(name);
        return text ? reinterpret_cast<const char*>(text) : "unknown";
    };
    const char* egl = eglQueryString(engine.display, EGL_VERSION);
    return std::string("GL vendor: ") + gl(GL_VENDOR) + "\nGL renderer: " + gl(GL_RENDERER) +
           "\nGL version: " + gl(GL_VERSION) + "\nEGL version: " + (egl ? egl : "unknown") + "\n";
}
