// The message path: a redraw from the headless backend's script through GI_wait_message and
// GI_dispatch_message to a handler that only counts, so no GL work is measured.
#include <string>

#include "bench/figures.h"
#include "bench/message_path.h"
#include "bench/scene_setup.h"

long messages_handled = 0;

int count_message(gi_handle, message_record*) {
    ++messages_handled;
    return 0;
}

namespace {

void message_path(benchmark::State& state) {
    gi_handle app = start_app(count_message);
    message_record message;
    messages_handled = 0;
    for (auto _ : state) {
        GI_wait_message(&message, 0);
        GI_dispatch_message(message.target, &message);
    }
    if (messages_handled != static_cast<long>(state.iterations()) || message.type != GI_MSG_REDRAW)
        state.SkipWithError("not every message was a dispatched redraw");
    (void)app;
}

}  // namespace

gi_handle start_app(gi_handler handler, bool window) {
    // More redraws than any run takes: the parser allows a million per command.
    std::string script;
    for (int i = 0; i < 2000; ++i) script += "redraw 1000000\n";
    // The engine tied to the application, as in the program: every dispatch also presents.
    gi_handle app_handle = create_app(window ? "window" : "headless", script.c_str(), handler);
    start_scene(app_handle);
    return app_handle;
}

void register_message_figures() {
    figure(benchmark::RegisterBenchmark("message/redraw_path", message_path));
}
