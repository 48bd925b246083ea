// The key bindings, through the message handler, from the initial state.
#include <GL/gl.h>

#include <cstring>

#include "app/app.h"
#include "scene/view_state.h"
#include "support.h"

namespace {

class keys : public ::testing::Test {
protected:
    void SetUp() override { start_scene(); }

    static void press(int32_t character) { EXPECT_EQ(send_message(GI_MSG_KEY, character), 0); }
    static void press_code(uint16_t code) { EXPECT_EQ(send_message(GI_MSG_KEY, 0, code), 0); }

    static bool state_equals(const view_state_t& a, const view_state_t& b) {
        return memcmp(&a, &b, sizeof a) == 0;
    }
};

GLint env_mode() {
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    return mode;
}

}  // namespace

TEST_F(keys, each_switch_toggles_and_toggles_back_without_drawing) {
    struct {
        char key;
        int32_t view_state_t::*field;
    } switches[] = {{'l', &view_state_t::lighting},      {'b', &view_state_t::blending},
                    {'t', &view_state_t::texturing},     {'a', &view_state_t::additive},
                    {'f', &view_state_t::linear_filter}};
    for (const auto& s : switches) {
        press(s.key);
        EXPECT_EQ(view_state.*s.field, 1) << s.key;
        press(s.key);
        EXPECT_EQ(view_state.*s.field, 0) << s.key;
    }
    EXPECT_EQ(view_state.y_rot, 0.0f) << "character keys must not draw";
}

TEST_F(keys, m_cycles_the_texture_environment_and_the_gl_agrees) {
    const GLint expected[] = {GL_MODULATE, GL_BLEND, GL_REPLACE, GL_DECAL};
    for (int press_number = 0; press_number < 4; ++press_number) {
        press('m');
        EXPECT_EQ(view_state.env_mode_index, (press_number + 1) % 4);
        EXPECT_EQ(env_mode(), expected[press_number]) << "after press " << press_number + 1;
    }
}

TEST_F(keys, b_switches_gl_blend_at_once) {
    press('b');
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    press('b');
    EXPECT_EQ(view_state.blending, 0);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(keys, space_stops_the_spin_but_code_32_moves_away_and_draws) {
    press(' ');
    EXPECT_EQ(view_state.x_speed, 0.0f);
    EXPECT_EQ(view_state.y_speed, 0.0f);
    EXPECT_EQ(view_state.z, -5.0f);
    EXPECT_EQ(view_state.y_rot, 0.0f);

    start_scene();
    press_code(32);
    EXPECT_EQ(view_state.z, -5.0f - 0.05f);
    EXPECT_EQ(view_state.y_speed, 0.5f);
    EXPECT_EQ(view_state.y_rot, 0.5f) << "a code key draws one frame";
}

TEST_F(keys, upper_case_and_other_characters_change_nothing) {
    const view_state_t before = view_state;
    for (char c : std::string("LBMTAFR xyz0!~")) {
        if (c == ' ') continue;
        press(c);
    }
    EXPECT_TRUE(state_equals(view_state, before));
    EXPECT_EQ(env_mode(), GL_DECAL);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(keys, spin_keys_reverse_stop_and_steer) {
    press('r');
    EXPECT_EQ(view_state.y_speed, -0.5f);
    EXPECT_EQ(view_state.x_speed, 0.0f);
    press(' ');
    press('r');
    EXPECT_EQ(view_state.x_speed, 0.0f);
    EXPECT_EQ(view_state.y_speed, 0.0f);
    press_code(101);
    EXPECT_EQ(view_state.y_speed, 0.01f);
    EXPECT_EQ(view_state.x_speed, 0.0f);
    press_code(100);
    press_code(100);
    EXPECT_EQ(view_state.y_speed, 0.01f - 0.01f - 0.01f);
    press_code(99);
    EXPECT_EQ(view_state.x_speed, 0.01f);
    press_code(98);
    press_code(98);
    EXPECT_EQ(view_state.x_speed, 0.01f - 0.01f - 0.01f);
}

TEST_F(keys, page_down_brings_the_box_nearer_without_limit) {
    float expected = -5.0f;
    for (int i = 0; i < 100; ++i) {
        press_code(53);
        expected += 0.05f;
    }
    EXPECT_EQ(view_state.z, expected);
    EXPECT_NEAR(view_state.z, 0.0f, 1e-4f);
    press_code(53);
    EXPECT_GT(view_state.z, 0.04f);
}

TEST_F(keys, an_unlisted_code_draws_exactly_one_frame) {
    view_state_t expected = view_state;
    press_code(7);
    expected.y_rot += expected.y_speed;
    expected.x_rot += expected.x_speed;
    EXPECT_TRUE(state_equals(view_state, expected));
}
