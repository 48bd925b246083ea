// Arbitrary message records through the handler on a real headless engine. After every message
// the switches are 0 or 1, the environment index is 0..3, and the GL agrees with the view state:
// blending enabled exactly when the switch is on, the texture environment the one selected,
// and no GL error. Distance and spin have no bounds by design and are not checked. Then the
// messages' record, replayed by the headless backend, ends in the very same view state.
#include <GL/gl.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app.h"
#include "harness/in_process.h"
#include "platform/recorder.h"
#include "platform/script.h"
#include "scene/view_state.h"

namespace {

// Drawing is the slow part and the same for every frame, so each input draws only a few.
constexpr int max_frames_per_input = 4;

view_state_t initial;

void restore_initial_state() {
    view_state = initial;
    if (initial.blending)
        glEnable(GL_BLEND);
    else
        glDisable(GL_BLEND);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, view_state_t::env_modes[initial.env_mode_index]);
}

// Mostly the message types and keys the program knows, sometimes any type, code or character a
// backend can deliver.
message_record next_message(FuzzedDataProvider& input) {
    static const int32_t characters[] = {'l', 'b', 'm', 't', 'a', 'f', 'r', ' ', 0, 0, 'L', '#', ';', 0xE9};
    static const uint16_t codes[] = {32, 53, 98, 99, 100, 101};
    message_record message{};
    message.target = app;
    const uint8_t type = input.ConsumeIntegralInRange<uint8_t>(0, 15);
    message.type = type < 4    ? GI_MSG_REDRAW
                   : type < 12 ? GI_MSG_KEY
                   : type < 13 ? GI_MSG_CLOSE
                               : input.ConsumeIntegral<int32_t>();
    const uint8_t character = input.ConsumeIntegral<uint8_t>();
    message.character = character < 224 ? characters[character % std::size(characters)]
                                         : input.ConsumeIntegralInRange(0, max_key_character);
    const uint8_t code = input.ConsumeIntegral<uint8_t>();
    message.code = code < 192 ? codes[code % std::size(codes)] : input.ConsumeIntegral<uint16_t>();
    return message;
}

bool draws(const message_record& m) {
    return m.type == GI_MSG_REDRAW || (m.type == GI_MSG_KEY && m.character == 0);
}

void check(const message_record& m) {
    const view_state_t& v = view_state;
    const char* broken = nullptr;
    for (int32_t value : {v.lighting, v.blending, v.texturing, v.linear_filter, v.additive})
        if (value != 0 && value != 1) broken = "a switch is neither 0 nor 1";
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    if (v.env_mode_index < 0 || v.env_mode_index > 3)
        broken = "env_mode_index outside 0..3";
    else if (mode != view_state_t::env_modes[v.env_mode_index])
        broken = "the GL texture environment is not the selected one";
    if ((glIsEnabled(GL_BLEND) == GL_TRUE) != (v.blending == 1))
        broken = "GL_BLEND does not follow the blending switch";
    if (glGetError() != GL_NO_ERROR) broken = "the GL reports an error";
    if (!broken) return;
    fprintf(stderr, "after message type %d character %d code %d: %s\n", m.type, m.character,
            m.code, broken);
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Before libFuzzer installs its signal handlers, so Ctrl-C still stops the fuzzer.
    start_headless_app();
    initial = view_state;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    restore_initial_state();
    record_lines recorder;
    std::string record;
    int frames = 0, delivered = 0;
    while (input.remaining_bytes() > 0) {
        const message_record message = next_message(input);
        if (draws(message) && ++frames > max_frames_per_input) continue;
        message_record copy = message;
        handle_message(app, &copy);
        check(message);
        recorder.add(message, record), ++delivered;
    }
    recorder.end(record);
    const view_state_t live = view_state;
    restore_initial_state();
    create_app("headless", record.c_str());  // the quits the closes posted go with the old one
    for (message_record m; delivered > 0;)
        if (GI_wait_message(&m, 0)) GI_dispatch_message(m.target, &m), --delivered;
    if (memcmp(&live, &view_state, sizeof live) == 0) return 0;
    fprintf(stderr, "the record replays to another view state:\n%s", record.c_str());
    abort();
}
