// kavex-bare-scene: the program's own frames with no platform layer: the same EGL context,
// init_gl, then N calls of draw_scene in a plain loop and, given a path, a snap. Set against
// the program's headless runs, the difference is what the platform layer costs.
//
//   kavex-bare-scene FRAMES [PATH]
#include "bench/bare_engine.h"
#include "scene/renderer.h"

int main(int argc, char** argv) {
    return bare_main(argc, argv, [] { init_gl(320, 240); }, draw_scene);
}
