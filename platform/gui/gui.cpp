// The GUI library: one application with one window, a message queue fed by the chosen backend,
// posted quits, dispatch to the application's handler, and the record of what it hands out.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "platform/gl/engine.h"
#include "platform/gui/backend.h"
#include "platform/platform.h"
#include "platform/runtime/errors.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/signals.h"
#include "platform/session/record.h"

namespace {

struct gui_state {
    app_record record;
    char window;  // the window handle is this member's address
    std::unique_ptr<backend> source;  // where messages come from and images go
    std::deque<gi_handle> quits;
};

gui_state gui;

bool is_ours(gi_handle target) { return target == &gui.record || target == &gui.window; }

// What --info asks: which GL draws and how the backend shows it, on stdout; then the end.
[[noreturn]] void say_how(const kgl_engine& engine) {
    const std::string lines = engine_description(engine) + gui.source->description();
    if (fputs(lines.c_str(), stdout) < 0 || fflush(stdout) != 0)
        fail(2, "cannot write to standard output: %s", strerror(errno));
    exit(0);
}

std::unique_ptr<backend> choose_backend(const settings& given, const app_params& params) {
    const bool window = given.platform == platform_choice::by_display
                            ? given.display || given.wayland_display
                            : given.platform == platform_choice::window;
    // First: a record that cannot be written stops the run before a window opens.
    open_record(given.record, window ? "window" : "headless");
    return window ? make_window_backend(given, params) : make_headless_backend(given);
}

}  // namespace

extern "C" gi_handle GI_create_app(app_params* params) {
    gui.source.reset();
    gui.quits.clear();
    gui.record.params = *params;
    gui.record.main_window = &gui.window;
    start_signals();
    prepare_gl();  // before the window backend, which may start a GL of SDL's
    gui.source = choose_backend(current_settings(), *params);
    return &gui.record;
}

extern "C" int GI_wait_message(message_record* message, int) {
    memset(message, 0, sizeof *message);
    if (!gui.quits.empty()) {
        message->target = gui.quits.front();
        gui.quits.pop_front();
        return 0;
    }
    message->target = &gui.record;
    // A close request goes first; a backend that had nothing to deliver is asked again.
    do {
        if (take_close_request()) {
            message->type = GI_MSG_CLOSE;
            break;
        }
    } while (!gui.source->next_message(*message, engine_for(&gui.record)));
    record_message(*message);
    return 1;
}

extern "C" int GI_dispatch_message(gi_handle target, message_record* message) {
    if (!is_ours(target) || !gui.record.params.handler) return 0;
    const int result = gui.record.params.handler(target, message);
    const kgl_engine* engine = engine_for(&gui.record);
    if (engine) gui.source->present(*engine);
    if (engine && current_settings().info) say_how(*engine);
    return result;
}

extern "C" void GI_post_quit(gi_handle target) { gui.quits.push_back(target); }

extern "C" void GI_destroy_window(gi_handle window) {
    if (window == &gui.window && gui.source) gui.source->destroy_window();
}

extern "C" int GI_messagebox(gi_handle, uint32_t, const char* caption, const char* text) {
    // On stderr first: the box blocks, and there may be nobody to see it. The line also says
    // why the engine failed, where it did; the box keeps the program's own text.
    const char* why = engine_failure();
    if (why)
        fprintf(stderr, "%s: %s (%s)\n", caption, text, why);
    else
        fprintf(stderr, "%s: %s\n", caption, text);
    if (gui.source) gui.source->message_box(caption, text);
    return 0;
}

extern "C" gi_handle GC_create_connected(int, int, int, gi_handle app) {
    // Drawing goes through the GL engine; the graphics context is only a token.
    return is_ours(app) ? app : nullptr;
}
