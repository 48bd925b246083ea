// kavex-bare: the least a run of the program could cost on this engine. It starts the same
// EGL context, draws N floor frames (clear and flush, as each of the program's headless frames
// ends in a flush), and, given a path, reads the image back and writes it with the program's
// PNG writer. The baseline for the program's start-up and for its long headless runs.
//
//   kavex-bare FRAMES [PATH]
#include <GL/gl.h>

#include "bench/bare_engine.h"

int main(int argc, char** argv) {
    return bare_main(
        argc, argv, [] { glClearColor(0.1f, 0.1f, 0.1f, 0.0f); },
        [] {
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glFlush();
        });
}
