// The procedural texture: a light grey tile with dark-blue squares on a 32-texel grid and a
// disc-shaped alpha cut-out, uploaded with a full mipmap chain and bound for the whole run.
#pragma once

#include <GL/gl.h>

extern GLuint texture_id;

// Generates, fills, uploads and binds the texture and sets wrapping and the decal environment.
// A failed upload ends the process with status 255.
void build_texture();
