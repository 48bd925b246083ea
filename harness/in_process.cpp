#include "harness/in_process.h"

#include <cstdio>
#include <cstdlib>

#include "scene/renderer.h"
#include "scene/view_state.h"

gi_handle create_app(const char* platform, const char* script, gi_handler handler) {
    setenv("KAVEX_PLATFORM", platform, 1);
    setenv("KAVEX_SCRIPT", script, 1);
    unsetenv("KAVEX_RECORD");  // a record is the real program's
    static app_params params;
    params = {"Kavex Mesa/OpenGL View", 0, 0, view_width, view_height, handler, {}};
    return app = GI_create_app(&params);
}

void start_scene(gi_handle app_handle) {
    static const view_state_t initial = view_state;
    if (!engine) engine = kglCreateContext(view_width, view_height, 32);
    // A context of its own each time (the old one stays until the end): no GL state carries over.
    if (engine) gl_context = kglCreateGLContext(engine, 1);
    if (!gl_context || !kglMakeCurrent(engine, gl_context, app_handle)) {
        fprintf(stderr, "no headless GL engine (Mesa through EGL)\n");
        exit(1);
    }
    view_state = initial;
    init_gl(view_width, view_height);
}

void start_headless_app() {
    start_scene(create_app("headless", "#"));  // the backend's messages are never dispatched
}

int send_message(int32_t type, int32_t character, uint16_t code) {
    message_record message{app, type, character, 0, code, {}};
    return handle_message(app, &message);
}
