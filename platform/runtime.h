// The runtime's services to the rest of the platform layer: one-line fatal errors and the
// close request that SIGINT and SIGTERM raise.
#pragma once

// Writes "<program>: <message>" on stderr and ends the process with the status.
[[noreturn]] void fail(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

// True for a set, non-empty environment value.
inline bool has_value(const char* value) { return value && *value; }

// Routes SIGINT and SIGTERM to a close request instead of ending the process at once.
void install_close_signals();

// True once per signal received since the last call.
bool take_close_request();
