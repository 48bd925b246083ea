// The message loop and dispatch, in process, on the headless backend with a script.
#include <GL/gl.h>

#include <climits>
#include <cstring>

#include "app/app.h"
#include "scene/view_state.h"
#include "harness/in_process.h"
#include "support.h"

namespace {

// The application on the headless backend with the given script, and the scene.
void start_app(const char* script) { start_scene(create_app("headless", script)); }

}  // namespace

TEST(message_loop, each_redraw_draws_one_frame_and_the_script_end_closes) {
    start_app("redraw 3");
    run_message_loop();
    EXPECT_FLOAT_EQ(view_state.y_rot, 1.5f);
}

TEST(message_loop, a_close_posts_exactly_one_quit_and_ends_the_loop) {
    start_app("redraw; close; redraw 5");
    run_message_loop();
    EXPECT_FLOAT_EQ(view_state.y_rot, 0.5f) << "nothing after the close is handled";
    message_record message;
    EXPECT_EQ(GI_wait_message(&message, 0), 1) << "a second quit was posted";
    EXPECT_EQ(message.type, GI_MSG_REDRAW);
}

TEST(message_loop, a_quit_for_another_target_is_dispatched_and_the_loop_goes_on) {
    start_app("redraw 2");
    int other = 0;
    GI_post_quit(&other);
    run_message_loop();
    EXPECT_FLOAT_EQ(view_state.y_rot, 1.0f);
}

TEST(message_loop, unknown_types_change_nothing) {
    start_app("message 0; message 171; message 2501; message -1; message 2147483647; redraw");
    const view_state_t before = view_state;
    for (int type : {0, 1, 169, 171, 2499, 2501, 2699, 2701, -1, INT_MAX, INT_MIN}) {
        message_record message{};
        message.type = type;
        message.character = 'b';
        message.code = GI_KEY_PAGE_UP;
        EXPECT_EQ(handle_message(app, &message), 0);
    }
    EXPECT_EQ(memcmp(&view_state, &before, sizeof before), 0);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    run_message_loop();
    EXPECT_FLOAT_EQ(view_state.y_rot, 0.5f) << "only the redraw in the script draws";
}
