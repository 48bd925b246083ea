#include "bench/scene_setup.h"

#include <EGL/egl.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "app/app.h"
#include "platform/engine.h"
#include "scene/renderer.h"
#include "scene/view_state.h"

gi_handle bench_engine() {
    static gi_handle engine = kglCreateContext(320, 240, 32);
    if (!engine) {
        fprintf(stderr, "kavex-bench: no headless GL engine\n");
        exit(1);
    }
    return engine;
}

void start_scene(gi_handle app) {
    static const view_state_t initial = view_state;
    static kgl_context* current = nullptr;
    auto* context = static_cast<kgl_context*>(kglCreateGLContext(bench_engine(), 1));
    if (!context || !kglMakeCurrent(bench_engine(), context, app)) {
        fprintf(stderr, "kavex-bench: no GL context\n");
        exit(1);
    }
    // A fresh context each time, so no GL state carries over from the previous benchmark.
    if (current) {
        eglDestroyContext(current->engine->display, current->context);
        delete current;
    }
    current = context;
    view_state = initial;
    init_gl(320, 240);
}

void set_heaviest_state() {
    for (char key : {'l', 't', 'f', 'b', 'a'}) {
        message_record message{};
        message.type = GI_MSG_KEY;
        message.character = key;
        handle_key(message);
    }
}
