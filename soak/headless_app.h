// Starts the program in process on the headless backend, the way main does, for the drivers
// that send it messages directly: the soak run, the message fuzzer and the loop tests.
#pragma once

#include "app/platform.h"

// Creates the application on the headless backend with the given script, as main does, and
// keeps it in app.
gi_handle create_headless_app(const char* script);

// Creates the application (empty script), the GL engine and context, makes them current and
// sets up the scene. Ends the process with a message if there is no engine.
void start_headless_app();

// Takes the quits that close messages post, so a driver can send any number of closes.
void drop_posted_quits();
