// Soak run: draws 100 000 frames headless in process, cycling through every combination of the
// five switches (l b t a f) and, once per round of 32, the texture environment (m). Prints the
// resident memory after 1000 frames, after a full cycle, halfway and at the end; fails if it
// grew by more than 256 KiB over the second half.
#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "harness/in_process.h"
#include "platform/runtime.h"
#include "scene/view_state.h"

namespace {

constexpr int early_frames = 1000;
// Mesa sizes its buffers by the largest frame it has drawn, and frames differ by angle and
// switches: at the initial spin a turn takes 720 frames and the 128 switch states (32 x 4 env
// modes) repeat every 128, so every pair has been drawn once after lcm(720, 128) frames.
constexpr int warm_up_frames = 11520;
// After that, memory may still step once by 512 KiB: the first time Mesa frees one of its 1 MiB
// buffers (7000 to 14000 frames in), glibc raises its mmap threshold above that size, so Mesa's
// 512 KiB vertex buffer moves from a mapping of its own to the heap, which keeps it. A leak
// grows on, so the check is over the second half: more than four full cycles.
constexpr int total_frames = 100000;
constexpr int checked_from = total_frames / 2;
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
    long early_kib = 0, warm_kib = 0, half_kib = 0;
    int frame = 0;
    for (; frame < total_frames && !take_close_request(); ++frame) {
        const int combination = frame % 32;
        if (combination == 0 && frame > 0) send_message(GI_MSG_KEY, 'm');
        for (int i = 0; i < 5; ++i)
            if (*switches[i].value != ((combination >> i) & 1))
                send_message(GI_MSG_KEY, switches[i].key);
        send_message(GI_MSG_REDRAW);
        if (frame + 1 == early_frames) early_kib = resident_kib();
        if (frame + 1 == warm_up_frames) warm_kib = resident_kib();
        if (frame + 1 == checked_from) half_kib = resident_kib();
    }
    const long end_kib = resident_kib();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    printf("frames:               %d in %.1f s (%.0f frames/s)\n", frame, seconds, frame / seconds);
    printf("resident after %5d: %ld KiB\n", early_frames, early_kib);
    printf("resident after %5d: %ld KiB (every angle with every switch state drawn)\n",
           warm_up_frames, warm_kib);
    printf("resident after %5d: %ld KiB\n", checked_from, half_kib);
    printf("resident at end:      %ld KiB\n", end_kib);
    printf("growth since %5d:   %ld KiB (allowed %ld)\n", checked_from, end_kib - half_kib,
           allowed_growth_kib);
    if (frame < total_frames) {
        printf("interrupted\n");
        return 2;
    }
    return end_kib - half_kib <= allowed_growth_kib ? 0 : 1;
}
