#include "soak/headless_app.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app.h"
#include "scene/renderer.h"

gi_handle create_headless_app(const char* script) {
    setenv("KAVEX_PLATFORM", "headless", 1);
    setenv("KAVEX_SCRIPT", script, 1);
    static app_params params;
    strcpy(params.title, "Kavex Mesa/OpenGL View");
    params.width = 320;
    params.height = 240;
    params.handler = handle_message;
    app = GI_create_app(&params);
    return app;
}

void start_headless_app() {
    create_headless_app("");  // the backend's messages are never dispatched here
    engine = kglCreateContext(320, 240, 32);
    gl_context = engine ? kglCreateGLContext(engine, 1) : nullptr;
    if (!gl_context || !kglMakeCurrent(engine, gl_context, app)) {
        fprintf(stderr, "no headless GL engine (Mesa through EGL)\n");
        exit(1);
    }
    init_gl(320, 240);
}

void drop_posted_quits() {
    message_record message;
    // The last wait, with no quit left, returns the empty script's close, undispatched.
    while (GI_wait_message(&message, 0) == 0) {
    }
}
