// Soak run: draws 100 000 frames headless in process, cycling through every combination of the
// five switches (l b t a f) and, once per round of 32, the texture environment (m). Prints the
// lowest resident memory in each quarter of the run; fails if the last quarter's is more than
// 256 KiB above the second's.
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "harness/in_process.h"
#include "platform/runtime.h"
#include "scene/view_state.h"

namespace {

// Memory grows at first: Mesa sizes its buffers by the largest frame it has drawn, and frames
// differ by angle and switches (at the initial spin a turn takes 720 frames and the 128 switch
// states, 32 x 4 env modes, repeat every 128: every pair is drawn after lcm(720, 128) = 11 520
// frames). It may step once more by 512 KiB: when Mesa first frees one of its 1 MiB buffers
// (7000 to 14 000 frames in), glibc raises its mmap threshold above that size, and Mesa's 512 KiB
// vertex buffer moves from a mapping of its own to the heap, which keeps it. Mesa also holds a
// spare 1 MiB buffer for a few thousand frames now and then. So the check compares the lowest
// figures, sampled every 1000 frames, of the second quarter and the last: a leak grows on.
constexpr int total_frames = 100000;
constexpr int sample_every = 1000;
constexpr long allowed_growth_kib = 256;

long resident_kib() {
    glFinish();  // count what the frames drawn so far hold, not what is still queued
    FILE* status = fopen("/proc/self/status", "r");
    long kib = -1;
    char line[256];
    while (status && fgets(line, sizeof line, status))
        if (sscanf(line, "VmRSS: %ld kB", &kib) == 1) break;
    if (status) fclose(status);
    return kib;
}

}  // namespace

int main() {
    start_headless_app();
    view_state_t& v = view_state;
    const struct {
        char key;
        int32_t* value;
    } switches[] = {{'l', &v.lighting}, {'b', &v.blending}, {'t', &v.texturing},
                    {'a', &v.additive}, {'f', &v.linear_filter}};

    const auto start = std::chrono::steady_clock::now();
    long lowest_kib[4] = {LONG_MAX, LONG_MAX, LONG_MAX, LONG_MAX};
    int frame = 0;
    for (; frame < total_frames && !take_close_request(); ++frame) {
        const int combination = frame % 32;
        if (combination == 0 && frame > 0) send_message(GI_MSG_KEY, 'm');
        for (int i = 0; i < 5; ++i)
            if (*switches[i].value != ((combination >> i) & 1))
                send_message(GI_MSG_KEY, switches[i].key);
        send_message(GI_MSG_REDRAW);
        if ((frame + 1) % sample_every == 0) {
            long& lowest = lowest_kib[frame / (total_frames / 4)];
            lowest = std::min(lowest, resident_kib());
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    printf("frames:                     %d in %.1f s (%.0f frames/s)\n", frame, seconds,
           frame / seconds);
    if (frame < total_frames) {
        printf("interrupted\n");
        return 2;
    }
    for (int quarter = 0; quarter < 4; ++quarter)
        printf("lowest resident, quarter %d: %ld KiB\n", quarter + 1, lowest_kib[quarter]);
    const long growth = lowest_kib[3] - lowest_kib[1];
    printf("growth, quarter 2 to 4:     %ld KiB (allowed %ld)\n", growth, allowed_growth_kib);
    return growth <= allowed_growth_kib ? 0 : 1;
}
