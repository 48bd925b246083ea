// Message dispatch: everything the window delivers comes through handle_message, on the
// program's only thread.
#include "app/app.h"
#include "scene/renderer.h"

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
