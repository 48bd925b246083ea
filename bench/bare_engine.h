// The baseline programs' engine: the same surfaceless EGL display, config, 320 x 240 pbuffer
// and compatibility context as the program's GL binding, with no platform layer around it.
#pragma once

// Makes the context current; on failure prints why and exits with status 1.
void bare_engine_start();

// Reads the image and writes it with the program's PNG writer; exits with status 2 on failure.
void bare_snap(const char* path);

// The frame count argument: 0..10000000; exits with status 2 on anything else.
long bare_frame_count(const char* text);
