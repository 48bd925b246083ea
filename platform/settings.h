// The platform's settings: each an environment variable, which a command-line option of the
// same name sets. One table says what each may hold, for the variables and the options alike.
#pragma once

struct setting {
    const char* option;     // --option, or --option=VALUE
    const char* variable;   // KAVEX_...
    const char* argument;   // what the option's value stands for in --help; null for a switch
    const char* allowed;    // the values taken, in words; null where any text is
    const char* meaning;    // for --help
    bool (*valid)(const char* value);
};

extern const setting settings[];
extern const int setting_count;

// The setting's value from its variable, or null where it is unset or empty. A value that is
// not allowed ends the process with one line, status 2.
const char* setting_value(const char* variable);
