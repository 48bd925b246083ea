// kavex-bare-scene: the program's own frames with no platform layer: the same EGL context,
// init_gl, then N calls of draw_scene in a plain loop and, given a path, a snap. Set against
// the program's headless runs, the difference is what the platform layer costs.
//
//   kavex-bare-scene FRAMES [PATH]
#include <GL/gl.h>

#include <cstdio>

#include "bench/bare_engine.h"
#include "scene/renderer.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: %s FRAMES [PATH]\n", argv[0]);
        return 2;
    }
    const long frames = bare_frame_count(argv[1]);
    bare_engine_start();
    init_gl(320, 240);
    for (long i = 0; i < frames; ++i) draw_scene();
    glFinish();
    if (argc == 3) bare_snap(argv[2]);
    return 0;
}
