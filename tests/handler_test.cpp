// In process on the real engine: the message loop's quits, the handler's results, and the
// texture's texels at the edges of its squares and disc. What keys and frames do is checked
// by the pictures in cases/pictures.txt.
#include "app/app.h"
#include "harness/in_process.h"
#include "scene/texture.h"
#include "scene/view_state.h"
#include "support.h"

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

TEST(texture, texels_at_the_edges_of_the_squares_and_the_disc) {
    const struct {
        int x, y;
        texel_rgba t;
    } cases[] = {
        {64, 64, {0, 0, 120, 255}},      {0, 0, {0, 0, 120, 0}},         {127, 127, {0, 0, 120, 0}},
        {121, 64, {240, 240, 240, 255}}, {122, 64, {240, 240, 240, 128}}, {123, 64, {240, 240, 240, 0}},
        {6, 64, {240, 240, 240, 128}},   {64, 5, {240, 240, 240, 0}},    {28, 40, {240, 240, 240, 255}},
        {35, 35, {0, 0, 120, 255}},      {36, 35, {240, 240, 240, 255}}, {27, 28, {240, 240, 240, 255}},
    };
    for (const auto& c : cases)
        for (const texel_rgba t : {texel(c.x, c.y), texel(c.y, c.x)})
            EXPECT_EQ(std::vector<int>({t.r, t.g, t.b, t.a}), std::vector<int>({c.t.r, c.t.g, c.t.b, c.t.a}))
                << "texel (" << c.x << ", " << c.y << ") or its mirror";
}
