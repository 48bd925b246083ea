// The status layer (F1 in a window): a few lines of text over the picture the window shows, in
// the overlay's two colours, drawn by the platform into its copy of the picture and never into
// the program's frames.
#pragma once

#include <cstddef>
#include <cstdint>

// Draws text (lines separated by '\n') over an image of width x height pixels of 32 bits in
// RGBA or BGRA byte order (the colours read the same in both), whose top row starts at top and
// whose rows are pitch bytes apart (negative for an image stored bottom row first). The first
// line stands on the overlay's place, 6 pixels from the left and 14 from the top; what does not
// fit is left out. Colour channels are blended at the colours' alpha, the alpha channel is kept.
void draw_status_layer(const char* text, uint8_t* top, ptrdiff_t pitch, int width, int height);
