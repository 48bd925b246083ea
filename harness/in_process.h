// The program started in process as main starts it, for the tests, benchmarks and fuzzers: the
// platform's start-up with options of their own, then the program's.
#pragma once

#include <cstdlib>
#include <string>

#include "app/app.h"
#include "platform/gl/engine.h"
#include "platform/runtime/start.h"
#include "scene/view_state.h"

// Reads the settings from these options, as the program's command line (no record, which is
// the real program's).
inline void read_options(const std::string& platform, const std::string& script) {
    static std::string options[2];
    options[0] = "--platform=" + platform;
    options[1] = "--script=" + script;
    char* argv[] = {program_invocation_name, options[0].data(), options[1].data(), nullptr};
    unsetenv("KAVEX_RECORD");
    start_platform(3, argv);
}

// Starts the program on the platform with the script, from the first view state, with a GL
// context of its own (nothing carries over from an earlier start).
inline void start_in_process(const std::string& script = "#",
                             const std::string& platform = "headless") {
    static const view_state_t initial = view_state;
    read_options(platform, script);
    view_state = initial;
    // The program never lets its engine go; what an earlier start made is let go here.
    delete static_cast<kgl_context*>(gl_context);
    delete static_cast<kgl_engine*>(engine);
    start_program();
}

// The application again, on the same GL context, with another script.
inline void restart_app(const std::string& script) {
    read_options("headless", script);
    app_params params = static_cast<app_record*>(app)->params;
    GI_create_app(&params);
}

// Hands one message for the application straight to handle_message; its result.
inline int send_message(int32_t type, int32_t character = 0, uint16_t code = 0) {
    message_record message{app, type, character, 0, code, {}};
    return handle_message(app, &message);
}
