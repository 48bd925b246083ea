// The runtime's services to the rest of the platform layer: one-line fatal errors that quote
// user text safely, the environment, and the close request that SIGINT and SIGTERM raise.
#pragma once

#include <string>
#include <string_view>

// Writes "<program>: <message>" on stderr and ends the process with the status. User text in
// the message goes through quoted().
[[noreturn]] void fail(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

// User text (a path, a word of a script) for an error line: in single quotes, with control
// characters and bytes that are not UTF-8 written as \xNN, and a long text shortened to its
// two ends around "...", so that an error line is always one short line.
std::string quoted(std::string_view text);

// The value of a variable the platform reads from the environment, or null where it is unset
// or empty: everywhere in the platform, an empty value means unset.
const char* env_value(const char* name);

// Routes SIGINT and SIGTERM to a close request instead of ending the process at once.
void install_close_signals();

// True once per signal received since the last call.
bool take_close_request();
