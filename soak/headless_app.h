// Starts the program in process on the headless backend, the way main does, for the drivers
// that send it messages directly: the soak run and the message fuzzer.
#pragma once

// Creates the application (headless, empty script), the GL engine and context, makes them
// current and sets up the scene. Ends the process with a message if there is no engine.
void start_headless_app();

// Takes the quits that close messages post, so a driver can send any number of closes.
void drop_posted_quits();
