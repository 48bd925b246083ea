// The runtime's services to the rest of the platform layer: one-line fatal errors, the
// environment, and the close request that SIGINT and SIGTERM raise.
#pragma once

// Writes "<program>: <message>" on stderr and ends the process with the status.
[[noreturn]] void fail(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The value of a variable the platform reads from the environment, or null where it is unset
// or empty: everywhere in the platform, an empty value means unset.
const char* env_value(const char* name);

// Routes SIGINT and SIGTERM to a close request instead of ending the process at once.
void install_close_signals();

// True once per signal received since the last call.
bool take_close_request();
