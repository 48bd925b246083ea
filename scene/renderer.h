// Everything that reaches the GL: one-time set-up, the projection, and drawing one frame.
#pragma once

// Builds the texture, sets fixed state, the projection and light 1. Called once, with the
// GL context current.
void init_gl(int width, int height);

// Draws one frame of the box from view_state and advances the spin by one step.
void draw_scene();
