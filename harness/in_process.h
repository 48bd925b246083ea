// The program started in process, the way main starts it, for the drivers that call into it
// directly: the tests, the benchmark, the message fuzzer and the soak run.
#pragma once

#include "app/app.h"

// Creates the application on the named backend ("headless" or "window") with the given script
// and handler, and keeps it in app.
gi_handle create_app(const char* platform, const char* script,
                     gi_handler handler = handle_message);

// The 320 x 240 engine, created once per process, and a new GL context on it (so no GL state
// carries over), made current and tied to app_handle if given; kept in engine and gl_context.
// Then the initial view state and init_gl. Ends the process with a message without an engine.
void start_scene(gi_handle app_handle = nullptr);

// The headless application with an empty script, and the scene.
void start_headless_app();

// Hands one message for app straight to handle_message; returns its result.
int send_message(int32_t type, int32_t character = 0, uint16_t code = 0);
