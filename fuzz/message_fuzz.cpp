// Arbitrary messages through the handler on a real headless engine. After every message the
// switches are 0 or 1, the environment index is 0..3, and the GL agrees with the view state:
// blending enabled exactly when the switch is on, the texture environment the one selected,
// and no GL error. Distance and spin have no bounds by design and are not checked. Then the
// messages' record, replayed by the headless backend, ends in the very same view state.
#include <GL/gl.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "harness/in_process.h"
#include "platform/session/script.h"
#include "scene/view_state.h"

namespace {

// The initial view state, and the GL state that keys set outside a frame.
void restore(const view_state_t& initial) {
    view_state = initial;
    glDisable(GL_BLEND);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
}

const char* broken_invariant() {
    const view_state_t& v = view_state;
    for (int32_t value : {v.lighting, v.blending, v.texturing, v.linear_filter, v.additive})
        if (value != 0 && value != 1) return "a switch is neither 0 nor 1";
    if (v.env_mode_index < 0 || v.env_mode_index > 3) return "no texture environment selected";
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    if (mode != view_state_t::env_modes[v.env_mode_index])
        return "the GL texture environment is not the selected one";
    if (glIsEnabled(GL_BLEND) != v.blending) return "GL_BLEND does not follow the switch";
    return glGetError() != GL_NO_ERROR ? "the GL reports an error" : nullptr;
}

// Mostly the types and keys the program knows, sometimes anything a backend can deliver.
message_record next_message(FuzzedDataProvider& input) {
    static const int32_t characters[] = {'l', 'b', 'm', 't', 'a', 'f', 'r', ' ',
                                         0,   0,   'L', '#', ';', 0xE9};
    static const uint16_t codes[] = {32, 53, 98, 99, 100, 101};
    message_record m{};
    m.target = app;
    const int type = input.ConsumeIntegralInRange(0, 15);
    const uint8_t character = input.ConsumeIntegral<uint8_t>();
    const uint8_t code = input.ConsumeIntegral<uint8_t>();
    m.type = type < 4 ? GI_MSG_REDRAW : type < 12 ? GI_MSG_KEY : GI_MSG_CLOSE;
    if (type > 12) m.type = input.ConsumeIntegral<int32_t>();
    m.character = characters[character % std::size(characters)];
    if (character >= 224) m.character = input.ConsumeIntegralInRange(0, max_key_character);
    m.code = codes[code % std::size(codes)];
    if (code >= 192) m.code = input.ConsumeIntegral<uint16_t>();
    return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const view_state_t initial = (start_in_process(), view_state);
    FuzzedDataProvider input(data, size);
    restore(initial);
    script_writer writer;
    std::string record;
    int frames = 0;
    int delivered = 0;
    while (input.remaining_bytes() > 0) {
        const message_record m = next_message(input);
        // Drawing is the slow part and alike for every frame, so each input draws only a few.
        const bool draws = m.type == GI_MSG_REDRAW || (m.type == GI_MSG_KEY && !m.character);
        if (draws && ++frames > 4) continue;
        message_record copy = m;
        handle_message(app, &copy);
        if (const char* broken = broken_invariant()) {
            fprintf(stderr, "after message type %d character %d code %d: %s\n", m.type,
                    m.character, m.code, broken);
            abort();
        }
        writer.add(m, record);
        ++delivered;
    }
    writer.end(record);
    const view_state_t live = view_state;
    restart_app(record);  // the quits the closes posted go with the old application
    restore(initial);
    for (message_record m; delivered > 0;) {
        if (!GI_wait_message(&m, 0)) continue;
        GI_dispatch_message(m.target, &m);
        --delivered;
    }
    if (memcmp(&live, &view_state, sizeof live) == 0) return 0;
    fprintf(stderr, "the record replays to another view state:\n%s", record.c_str());
    abort();
}
