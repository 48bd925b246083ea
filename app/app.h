// The application shell: the process-wide handles, the message handler and the key bindings.
#pragma once

#include "platform/platform.h"

extern gi_handle app;
extern gi_handle engine;
extern gi_handle gl_context;

// Registered with the window: routes redraw, key and close messages. Returns 0 for every message.
extern "C" int handle_message(gi_handle target, message_record* message);

// Applies a key message to the view state (and, for b and m, to the GL at once).
void handle_key(const message_record& message);

// Creates the application and its window, the GL engine and context, and sets up the scene;
// a failure is a "Fatal error" box and status 1.
void start_program();

// Waits for and dispatches messages until a quit for the application arrives.
void run_message_loop();
