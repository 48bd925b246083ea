// The benchmark's scenes: the program started in process, and its heaviest state.
#pragma once

#include "harness/in_process.h"
#include "platform/engine.h"

// The engine the scene draws into.
inline const kgl_engine& scene_engine() { return *static_cast<const kgl_engine*>(engine); }

// Sets the heaviest state the keyboard can reach: lighting, texturing, linear filtering,
// blending and additive blending, through the program's own key handler.
void set_heaviest_state();
