// The baseline programs' engine: the program's own GL binding (surfaceless EGL, 320 x 240
// pbuffer, compatibility context), with no GUI library around it.
#pragma once

// The baseline programs' main, `NAME FRAMES [PATH]`: makes the context current, runs setup,
// draws FRAMES (0..10000000) frames, finishes and, given PATH, writes the image with the
// program's PNG writer. KAVEX_BARE_HZ=N sleeps between frames to an N Hz pace. Exits with
// status 1 without an engine and 2 on bad arguments or a failed write.
int bare_main(int argc, char** argv, void (*setup)(), void (*frame)());
