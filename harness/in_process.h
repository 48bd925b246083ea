// The program started in process as main starts it, for the tests and benchmarks: the platform's
// start-up with options of their own, then the program's.
#pragma once

#include <cstdlib>
#include <string>

#include "app/app.h"
#include "platform/gl/engine.h"
#include "platform/runtime/start.h"
#include "scene/view_state.h"

// Starts the program as main does, headless with the script given on its command line (no
// record, which is the real program's), from the first view state, with a GL context of its own
// (nothing carries over from an earlier start).
inline void start_in_process(const std::string& script = "#") {
    static const view_state_t initial = view_state;
    static std::string option;
    option = "--script=" + script;
    char* argv[] = {program_invocation_name, const_cast<char*>("--platform=headless"),
                    option.data(), nullptr};
    unsetenv("KAVEX_RECORD");
    start_platform(3, argv);
    view_state = initial;
    engine_release(engine, gl_context);  // an earlier start's
    start_program();
}
