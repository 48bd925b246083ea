/* Test-only interposer (LD_PRELOAD): KAVEX_TEST_FAULT names one call to fail - "display":
 * eglGetPlatformDisplay finds no display; "context": eglCreateContext fails; "mipmaps":
 * gluBuild2DMipmaps reports an error. Everything else passes through to the real library. */
#define _GNU_SOURCE
#include <EGL/egl.h>
#include <GL/glu.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#define FAULT(name, failure, returns, function, parameters, arguments)                       \
    returns function parameters {                                                           \
        const char* chosen = getenv("KAVEX_TEST_FAULT");                                    \
        if (chosen && strcmp(chosen, name) == 0) return failure;                            \
        return ((returns(*) parameters)dlsym(RTLD_NEXT, #function))arguments;               \
    }

FAULT("display", EGL_NO_DISPLAY, EGLDisplay, eglGetPlatformDisplay,
      (EGLenum p, void* n, const EGLAttrib* a), (p, n, a))
FAULT("context", EGL_NO_CONTEXT, EGLContext, eglCreateContext,
      (EGLDisplay d, EGLConfig c, EGLContext s, const EGLint* a), (d, c, s, a))
FAULT("mipmaps", GLU_INVALID_VALUE, GLint, gluBuild2DMipmaps,
      (GLenum t, GLint c, GLint w, GLint h, GLenum f, GLenum y, const void* d), (t, c, w, h, f, y, d))
