// Set-up, projection, frames and the texture, on the real engine.
#include <GL/gl.h>
#include <GL/glu.h>

#include <array>
#include <cmath>

#include "scene/renderer.h"
#include "scene/texture.h"
#include "scene/view_state.h"
#include "support.h"

namespace {

class scene : public ::testing::Test {
protected:
    void SetUp() override { start_scene(); }
};

void expect_floats(GLenum query, std::initializer_list<float> expected) {
    float seen[16] = {};
    glGetFloatv(query, seen);
    int i = 0;
    for (float e : expected) EXPECT_FLOAT_EQ(seen[i++], e) << "component " << i - 1;
}

void expect_light(GLenum parameter, std::initializer_list<float> expected) {
    float seen[4] = {};
    glGetLightfv(GL_LIGHT1, parameter, seen);
    int i = 0;
    for (float e : expected) EXPECT_FLOAT_EQ(seen[i++], e) << "component " << i - 1;
}

GLint get_int(GLenum query) {
    GLint value = 0;
    glGetIntegerv(query, &value);
    return value;
}

// The matrix gluPerspective builds, column-major.
void expect_perspective(double fovy, double aspect, double near, double far) {
    const double f = 1.0 / std::tan(fovy * M_PI / 360.0);
    const double expected[16] = {f / aspect, 0, 0, 0, 0, f, 0, 0,
                                 0, 0, (far + near) / (near - far), -1,
                                 0, 0, 2 * far * near / (near - far), 0};
    double seen[16];
    glGetDoublev(GL_PROJECTION_MATRIX, seen);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(seen[i], expected[i], 1e-6) << "element " << i;
}

}  // namespace

TEST_F(scene, init_gl_leaves_fixed_state_and_light_one) {
    expect_floats(GL_COLOR_CLEAR_VALUE, {0.1f, 0.1f, 0.1f, 0.0f});
    expect_floats(GL_DEPTH_CLEAR_VALUE, {1.0f});
    EXPECT_EQ(get_int(GL_DEPTH_FUNC), GL_LESS);
    EXPECT_EQ(get_int(GL_SHADE_MODEL), GL_SMOOTH);
    expect_light(GL_POSITION, {2, 2, 0, 1});
    expect_light(GL_AMBIENT, {0.1f, 0.1f, 0.1f, 1});
    expect_light(GL_DIFFUSE, {1.2f, 1.2f, 1.2f, 1});
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_EQ(get_int(GL_COLOR_MATERIAL_FACE), GL_FRONT_AND_BACK);
    EXPECT_EQ(get_int(GL_COLOR_MATERIAL_PARAMETER), GL_AMBIENT_AND_DIFFUSE);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(get_int(GL_MATRIX_MODE), GL_MODELVIEW);
}

TEST_F(scene, projection_and_viewport_fit_the_window) {
    expect_perspective(45.0, 320.0 / 240.0, static_cast<double>(0.1f), 100.0);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 320);
    EXPECT_EQ(viewport[3], 240);
}

TEST_F(scene, resize_view_treats_height_zero_as_one) {
    resize_view(320, 0);
    EXPECT_EQ(view_state.width, 320);
    EXPECT_EQ(view_state.height, 1);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[3], 1);
    expect_perspective(45.0, 320.0, static_cast<double>(0.1f), 100.0);
}

TEST_F(scene, each_frame_turns_the_box_one_step_without_wrapping) {
    draw_scene();
    EXPECT_FLOAT_EQ(view_state.x_rot, 0.9f);
    EXPECT_FLOAT_EQ(view_state.y_rot, 0.5f);
    float expected = 0.5f;
    for (int frame = 1; frame < 800; ++frame) {
        draw_scene();
        expected += 0.5f;
    }
    EXPECT_EQ(view_state.y_rot, expected);  // accumulated in single precision, as the frame does
    EXPECT_GT(view_state.y_rot, 360.0f);
}

TEST_F(scene, first_frame_shows_the_front_face_on_dark_grey) {
    draw_scene();
    const image frame = read_framebuffer();
    EXPECT_TRUE(probe(frame, 5, 5, {26, 26, 26}));
    EXPECT_TRUE(probe(frame, 300, 220, {26, 26, 26}));
    // The front face's corners, a few pixels inside: its four vertex colours.
    EXPECT_TRUE(probe(frame, 85, 48, {26, 26, 26}, 16));     // top left (0.1, 0.1, 0.1)
    EXPECT_TRUE(probe(frame, 234, 48, {51, 51, 230}, 16));   // top right, blue
    EXPECT_TRUE(probe(frame, 86, 192, {230, 51, 51}, 16));   // bottom left, red
    EXPECT_TRUE(probe(frame, 234, 192, {51, 230, 51}, 16));  // bottom right, green
}

TEST_F(scene, textured_frame_shows_the_tile_and_keeps_the_background) {
    view_state.texturing = 1;
    draw_scene();
    const image frame = read_framebuffer();
    EXPECT_TRUE(probe(frame, 160, 120, {0, 0, 120}));     // the square at the tile's centre
    EXPECT_TRUE(probe(frame, 120, 81, {0, 0, 120}));      // the one up and to the left
    EXPECT_TRUE(probe(frame, 140, 120, {240, 240, 240}));  // grey between squares
    EXPECT_TRUE(probe(frame, 5, 5, {26, 26, 26}));
}

TEST(texel, edge_cases) {
    struct {
        int x, y;
        texel_rgba expected;
    } cases[] = {
        {64, 64, {0, 0, 120, 255}},      // centre of the disc, in a square
        {0, 0, {0, 0, 120, 0}},          // blue corner, outside the disc
        {121, 64, {240, 240, 240, 255}}, // d = 57^2, inside
        {122, 64, {240, 240, 240, 128}}, // d = 58^2, on the rim
        {123, 64, {240, 240, 240, 0}},   // d = 59^2, outside
        {6, 64, {240, 240, 240, 128}},   // 58 from the centre on the other side
        {28, 40, {240, 240, 240, 255}},  // only x falls in a square
        {35, 35, {0, 0, 120, 255}},
        {36, 35, {240, 240, 240, 255}},
    };
    for (const auto& c : cases) {
        const texel_rgba t = texel(c.x, c.y);
        EXPECT_EQ((std::array<int, 4>{t.r, t.g, t.b, t.a}),
                  (std::array<int, 4>{c.expected.r, c.expected.g, c.expected.b, c.expected.a}))
            << "texel (" << c.x << ", " << c.y << ")";
    }
}

TEST(texel, image_is_symmetric_in_x_and_y) {
    for (int x = 0; x < 128; ++x)
        for (int y = 0; y < x; ++y) {
            const texel_rgba a = texel(x, y), b = texel(y, x);
            ASSERT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a)
                << "texel (" << x << ", " << y << ")";
        }
}

TEST_F(scene, texture_is_bound_with_full_mip_chain_repeat_and_decal) {
    EXPECT_NE(texture_id, 0u);
    EXPECT_EQ(get_int(GL_TEXTURE_BINDING_2D), static_cast<GLint>(texture_id));
    for (int level = 0, size = 128; level <= 7; ++level, size /= 2) {
        GLint width = 0, height = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &height);
        EXPECT_EQ(width, size) << "level " << level;
        EXPECT_EQ(height, size) << "level " << level;
    }
    GLint wrap_s = 0, wrap_t = 0, mode = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap_s);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap_t);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(wrap_s, GL_REPEAT);
    EXPECT_EQ(wrap_t, GL_REPEAT);
    EXPECT_EQ(mode, GL_DECAL);
}
