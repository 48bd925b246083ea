// The headless engine in the benchmark's own process, started the way the program starts it.
#pragma once

#include "app/platform.h"

// The 320 x 240 engine, created once per process.
gi_handle bench_engine();

// A fresh GL context on the engine, made current and tied to app (if given), then the
// initial view state and init_gl: the state the program is in before its first frame.
void start_scene(gi_handle app = nullptr);

// Sets the heaviest state the keyboard can reach: lighting, texturing, linear filtering,
// blending and additive blending, through the program's own key handler.
void set_heaviest_state();
