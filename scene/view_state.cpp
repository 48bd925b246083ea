#include "scene/view_state.h"

view_state_t view_state = {
    view_width, view_height,
    0, 0, 0, 0, 0,     // lighting, blending, texturing, linear_filter, additive
    0,                 // env_mode_index
    0.9f, 0.0f,        // x_rot, y_rot
    0.0f, 0.5f,        // x_speed, y_speed
    -5.0f,             // z
    {0.1f, 0.1f, 0.1f, 1.0f},  // light_ambient
    {1.2f, 1.2f, 1.2f, 1.0f},  // light_diffuse
    {2.0f, 2.0f, 0.0f, 1.0f},  // light_position: positional, fixed in eye space
};

const char* const env_mode_names[4] = {"GL_DECAL", "GL_MODULATE", "GL_BLEND", "GL_REPLACE"};
