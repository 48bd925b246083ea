// The platform's start-up, before anything else of the program runs.
#pragma once

// Readies the process and reads the settings (read_settings) from argv and the environment:
// standard descriptors that were closed point at /dev/null (so no file the program opens can
// become its stderr), and memory that runs out where nothing else catches it is one line and
// status 1 rather than an abort. Once per process; read_settings may be called again.
void start_platform(int argc, char** argv);
