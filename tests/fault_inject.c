/* Test-only interposer (LD_PRELOAD): KAVEX_TEST_FAULT names faults, separated by commas -
 * "context": eglCreateContext fails; "mipmaps": gluBuild2DMipmaps reports an error;
 * "disk-full": every write() fails as on a full disk (stdio's writes to stderr go past it);
 * "no-tmpfile": the file system has no unnamed files (O_TMPFILE), as on NFS; "thread": at
 * eglInitialize the driver starts a thread that sets no signal mask of its own and sleeps, as
 * zink's Vulkan threads do; "usr1-at-temp": SIGUSR1 arrives just as a file gets a temporary name
 * (openat with O_EXCL); "big-alloc": once a frame is drawn (glFlush), every allocation of
 * 64 KiB or more fails, as when memory runs out; "options-oom": once the command line is read
 * (getopt_long), every allocation fails. Everything else passes through to the real library. */
#define _GNU_SOURCE
#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int chosen(const char* name) {
    const char* list = getenv("KAVEX_TEST_FAULT");
    const size_t length = strlen(name);
    for (const char* s = list; s && (s = strstr(s, name)); s += length)
        if ((s == list || s[-1] == ',') && (s[length] == ',' || !s[length])) return 1;
    return 0;
}

#define FAULT(name, failure, returns, function, parameters, arguments)                       \
    returns function parameters {                                                           \
        if (chosen(name)) return failure;                                                   \
        return ((returns(*) parameters)dlsym(RTLD_NEXT, #function))arguments;               \
    }

FAULT("context", EGL_NO_CONTEXT, EGLContext, eglCreateContext,
      (EGLDisplay d, EGLConfig c, EGLContext s, const EGLint* a), (d, c, s, a))
FAULT("mipmaps", GLU_INVALID_VALUE, GLint, gluBuild2DMipmaps,
      (GLenum t, GLint c, GLint w, GLint h, GLenum f, GLenum y, const void* d),
      (t, c, w, h, f, y, d))
FAULT("disk-full", (errno = ENOSPC, -1), ssize_t, write,
      (int f, const void* b, size_t n), (f, b, n))

int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = flags & (O_CREAT | O_TMPFILE) ? va_arg(args, mode_t) : 0;
    va_end(args);
    if (chosen("no-tmpfile") && (flags & O_TMPFILE) == O_TMPFILE) return errno = EOPNOTSUPP, -1;
    int (*next)(int, const char*, int, ...) = dlsym(RTLD_NEXT, "openat");
    const int fd = next(dir, path, flags, mode);
    if (fd >= 0 && flags & O_EXCL && chosen("usr1-at-temp")) kill(getpid(), SIGUSR1);
    return fd;
}

static void* sleep_on(void* unused) {
    for (;;) pause();
    return unused;
}

EGLBoolean eglInitialize(EGLDisplay display, EGLint* major, EGLint* minor) {
    pthread_t thread;
    if (chosen("thread")) pthread_create(&thread, NULL, sleep_on, NULL);
    EGLBoolean (*next)(EGLDisplay, EGLint*, EGLint*) = dlsym(RTLD_NEXT, "eglInitialize");
    return next(display, major, minor);
}

static int frame_drawn;

void glFlush(void) {
    frame_drawn = 1;
    void (*next)(void) = dlsym(RTLD_NEXT, "glFlush");
    next();
}

static int options_read;

int getopt_long(int argc, char* const* argv, const char* shorts, const struct option* longs,
                int* index) {
    options_read = chosen("options-oom");
    int (*next)(int, char* const*, const char*, const struct option*, int*) =
        dlsym(RTLD_NEXT, "getopt_long");
    return next(argc, argv, shorts, longs, index);
}

extern void* __libc_malloc(size_t size);

void* malloc(size_t size) {
    if (size >= 65536 && frame_drawn && chosen("big-alloc")) return errno = ENOMEM, NULL;
    if (options_read) return errno = ENOMEM, NULL;
    return __libc_malloc(size);
}
