// Start-up: the application and its window, the GL engine and context, and the scene set-up.
// The program's main runs it, and so do the tests and benchmarks that start the program in
// process.
#include <cstdlib>
#include <cstring>

#include "app/app.h"
#include "scene/renderer.h"
#include "scene/view_state.h"

namespace {

void fatal(const char* text) {
    GI_messagebox(nullptr, 0x10000000, "Fatal error", text);
    exit(1);  // a failed start is a failure, whatever the box says
}

}  // namespace

void start_program() {
    static app_params params;
    memset(&params, 0, sizeof params);
    strcpy(params.title, "Kavex Mesa/OpenGL View");
    params.x = 200;
    params.y = 60;
    params.width = view_width;
    params.height = view_height;
    params.handler = handle_message;
    params.platform_words[0] = 0;
    params.platform_words[1] = 0;
    params.platform_words[2] = 2;
    app = GI_create_app(&params);

    engine = kglCreateContext(view_width, view_height, 32);
    if (!engine) fatal("Unable to intialize mesa engine");
    gl_context = kglCreateGLContext(engine, 1);
    if (!gl_context) fatal("Unable to intialize mesa context");
    kglMakeCurrent(engine, gl_context, app);
    GC_create_connected(2, 0, 0, app);

    init_gl(view_width, view_height);
}
