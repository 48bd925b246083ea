// In process on the real engine: the message loop's quits and the handler's results. What keys,
// frames and the texture look like is checked by the pictures in cases/pictures.txt.
#include "app/app.h"
#include "harness/in_process.h"
#include "scene/view_state.h"
#include <gtest/gtest.h>

TEST(message_loop, only_a_quit_for_the_application_ends_it_and_a_close_posts_one) {
    start_scene(create_app("headless", "redraw; close; redraw 5"));
    int other = 0;
    GI_post_quit(&other);  // dispatched like any other message
    run_message_loop();
    EXPECT_EQ(view_state.y_rot, 0.5f) << "one frame before the close, none after";
    message_record m;
    EXPECT_EQ(GI_wait_message(&m, 0), 1) << "the close posted a second quit";
    EXPECT_EQ(m.type, GI_MSG_REDRAW);
    for (const auto& [type, character, code] : {std::tuple{170, 0, 0}, {2500, 'b', 0}, {2500, 0, 32},
                                                {2500, 0, 7}, {2700, 0, 0}, {0, 'l', 0}, {-1, 0, 0}})
        EXPECT_EQ(send_message(type, character, code), 0) << "message type " << type;
}
