// The one record every frame depends on and the keyboard changes. Plain data, read and written
// in place; it lives for the whole run.
#pragma once

#include <GL/gl.h>

#include <cstdint>

// The size of the view in pixels: the window's, the engine's and the projection's.
constexpr int32_t view_width = 320;
constexpr int32_t view_height = 240;

struct view_state_t {
    int32_t width;
    int32_t height;
    int32_t lighting;        // switches hold 0 or 1
    int32_t blending;
    int32_t texturing;
    int32_t linear_filter;
    int32_t additive;
    int32_t env_mode_index;  // 0..3 into env_modes
    static constexpr int32_t env_modes[4] = {GL_DECAL, GL_MODULATE, GL_BLEND, GL_REPLACE};
    float x_rot;             // degrees, never wrapped
    float y_rot;
    float x_speed;           // degrees added per drawn frame
    float y_speed;
    float z;
    float light_ambient[4];
    float light_diffuse[4];
    float light_position[4];
};

extern view_state_t view_state;

// Display names of env_modes, in the same order.
extern const char* const env_mode_names[4];

inline void toggle(int32_t& switch_value) { switch_value = switch_value == 0 ? 1 : 0; }
