// Message dispatch: everything the window delivers comes through handle_message, on the
// program's only thread; and the view state as the window's status layer shows it.
#include <algorithm>
#include <cstdio>

#include "app/app.h"
#include "scene/renderer.h"
#include "scene/view_state.h"

gi_handle app;
gi_handle engine;
gi_handle gl_context;

extern "C" int handle_message(gi_handle, message_record* message) {
    switch (message->type) {
    case GI_MSG_REDRAW:
        draw_scene();
        break;
    case GI_MSG_KEY:
        handle_key(*message);
        break;
    case GI_MSG_CLOSE:
        GI_post_quit(message->target);
        break;
    default:
        break;
    }
    return 0;
}

void run_message_loop() {
    message_record message;
    // Only a quit for our own application ends the loop; anything else is passed on.
    while (GI_wait_message(&message, 0) != 0 || message.target != app)
        GI_dispatch_message(message.target, &message);
}

// The texture environment mode's name, then the switches that are on.
extern "C" size_t GI_status_text(char* text, size_t size) {
    const view_state_t& v = view_state;
    const bool any = v.lighting || v.blending || v.additive || v.texturing || v.linear_filter;
    const int n = snprintf(text, size, "%s\n%s%s%s%s%s%s", env_mode_names[v.env_mode_index],
                           v.lighting ? "lighting " : "", v.blending ? "blending " : "",
                           v.additive ? "additive " : "", v.texturing ? "texture " : "",
                           v.linear_filter ? "linear filtering" : "", any ? "" : "all off");
    return n > 0 && size > 0 ? std::min(static_cast<size_t>(n), size - 1) : 0;
}
