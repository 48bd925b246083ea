/* Test-only interposer (LD_PRELOAD): KAVEX_TEST_FAULT names one call to fail -
 * "display": eglGetPlatformDisplay finds no display; "context": eglCreateContext fails;
 * "mipmaps": gluBuild2DMipmaps reports an error. Everything else passes through. */
#define _GNU_SOURCE
#include <EGL/egl.h>
#include <GL/glu.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

static int fault(const char* name) {
    const char* chosen = getenv("KAVEX_TEST_FAULT");
    return chosen && strcmp(chosen, name) == 0;
}

EGLDisplay eglGetPlatformDisplay(EGLenum platform, void* native, const EGLAttrib* attributes) {
    if (fault("display")) return EGL_NO_DISPLAY;
    EGLDisplay (*real)(EGLenum, void*, const EGLAttrib*) =
        (EGLDisplay(*)(EGLenum, void*, const EGLAttrib*))dlsym(RTLD_NEXT, "eglGetPlatformDisplay");
    return real(platform, native, attributes);
}

EGLContext eglCreateContext(EGLDisplay display, EGLConfig config, EGLContext share,
                            const EGLint* attributes) {
    if (fault("context")) return EGL_NO_CONTEXT;
    EGLContext (*real)(EGLDisplay, EGLConfig, EGLContext, const EGLint*) =
        (EGLContext(*)(EGLDisplay, EGLConfig, EGLContext, const EGLint*))dlsym(RTLD_NEXT,
                                                                               "eglCreateContext");
    return real(display, config, share, attributes);
}

GLint gluBuild2DMipmaps(GLenum target, GLint components, GLint width, GLint height,
                        GLenum format, GLenum type, const void* data) {
    if (fault("mipmaps")) return GLU_INVALID_VALUE;
    GLint (*real)(GLenum, GLint, GLint, GLint, GLenum, GLenum, const void*) =
        (GLint(*)(GLenum, GLint, GLint, GLint, GLenum, GLenum, const void*))dlsym(
            RTLD_NEXT, "gluBuild2DMipmaps");
    return real(target, components, width, height, format, type, data);
}
