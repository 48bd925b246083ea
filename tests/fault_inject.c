/* Test-only interposer (LD_PRELOAD): KAVEX_TEST_FAULT names one fault - "context":
 * eglCreateContext fails; "mipmaps": gluBuild2DMipmaps reports an error; "disk-full": every
 * write() fails as on a full disk (stdio's writes to stderr go past it); "no-tmpfile": the file
 * system has no unnamed files (O_TMPFILE), as on NFS. Everything else passes through to the
 * real library. */
#define _GNU_SOURCE
#include <EGL/egl.h>
#include <GL/glu.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#define FAULT(name, failure, returns, function, parameters, arguments)                       \
    returns function parameters {                                                           \
        const char* chosen = getenv("KAVEX_TEST_FAULT");                                    \
        if (chosen && strcmp(chosen, name) == 0) return failure;                            \
        return ((returns(*) parameters)dlsym(RTLD_NEXT, #function))arguments;               \
    }

FAULT("context", EGL_NO_CONTEXT, EGLContext, eglCreateContext,
      (EGLDisplay d, EGLConfig c, EGLContext s, const EGLint* a), (d, c, s, a))
FAULT("mipmaps", GLU_INVALID_VALUE, GLint, gluBuild2DMipmaps,
      (GLenum t, GLint c, GLint w, GLint h, GLenum f, GLenum y, const void* d), (t, c, w, h, f, y, d))
FAULT("disk-full", (errno = ENOSPC, -1), ssize_t, write, (int f, const void* b, size_t n), (f, b, n))

int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = flags & (O_CREAT | O_TMPFILE) ? va_arg(args, mode_t) : 0;
    va_end(args);
    const char* chosen = getenv("KAVEX_TEST_FAULT");
    if (chosen && strcmp(chosen, "no-tmpfile") == 0 && (flags & O_TMPFILE) == O_TMPFILE) return errno = EOPNOTSUPP, -1;
    return ((int (*)(int, const char*, int, ...))dlsym(RTLD_NEXT, "openat"))(dir, path, flags, mode);
}
