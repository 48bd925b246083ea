#include "scene/renderer.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "scene/texture.h"
#include "scene/view_state.h"

namespace {

struct vertex {
    float colour[4];
    float tex[2];
    float position[3];
};

struct face {
    float normal[3];
    bool colour_per_vertex;  // otherwise the first vertex's colour serves the whole face
    vertex vertices[4];
};

// The box, in drawing order. Not closed and not symmetric: bottom and right lie at distance 1
// from the centre, the others at 1.3. Texture coordinates past 1 rely on repeat wrapping; the
// back face's second vertex (2.995, 2.995) distorts its copy of the pattern.
constexpr face box[6] = {
    {{0, -1, 0}, false, {
        {{0.9f, 0.2f, 0.2f, 0.75f}, {0.8f, 0.8f}, {-1, -1, -1}},
        {{}, {0.2f, 0.8f}, {1, -1, -1}},
        {{}, {0.2f, 0.2f}, {1, -1, 1}},
        {{}, {0.8f, 0.2f}, {-1, -1, 1}}}},
    {{0, 1, 0}, false, {
        {{0.5f, 0.5f, 0.5f, 0.5f}, {0.005f, 1.995f}, {-1, 1.3f, -1}},
        {{}, {0.005f, 0.005f}, {-1, 1.3f, 1}},
        {{}, {1.995f, 0.005f}, {1, 1.3f, 1}},
        {{}, {1.995f, 1.995f}, {1, 1.3f, -1}}}},
    {{0, 0, -1}, false, {
        {{0.2f, 0.9f, 0.2f, 0.5f}, {0.995f, 0.005f}, {-1, -1, -1.3f}},
        {{}, {2.995f, 2.995f}, {-1, 1, -1.3f}},
        {{}, {0.005f, 0.995f}, {1, 1, -1.3f}},
        {{}, {0.005f, 0.005f}, {1, -1, -1.3f}}}},
    {{1, 0, 0}, false, {
        {{0.2f, 0.2f, 0.9f, 0.25f}, {0.995f, 0.005f}, {1, -1, -1}},
        {{}, {0.995f, 0.995f}, {1, 1, -1}},
        {{}, {0.005f, 0.995f}, {1, 1, 1}},
        {{}, {0.005f, 0.005f}, {1, -1, 1}}}},
    {{0, 0, 1}, true, {
        {{0.9f, 0.2f, 0.2f, 0.5f}, {0.005f, 0.005f}, {-1, -1, 1.3f}},
        {{0.2f, 0.9f, 0.2f, 0.5f}, {0.995f, 0.005f}, {1, -1, 1.3f}},
        {{0.2f, 0.2f, 0.9f, 0.5f}, {0.995f, 0.995f}, {1, 1, 1.3f}},
        {{0.1f, 0.1f, 0.1f, 0.5f}, {0.005f, 0.995f}, {-1, 1, 1.3f}}}},
    {{-1, 0, 0}, true, {
        {{0.9f, 0.9f, 0.2f, 0.0f}, {0.005f, 0.005f}, {-1.3f, -1, -1}},
        {{0.9f, 0.9f, 0.2f, 0.66f}, {0.995f, 0.005f}, {-1.3f, -1, 1}},
        {{0.9f, 0.9f, 0.2f, 1.0f}, {0.995f, 0.995f}, {-1.3f, 1, 1}},
        {{0.9f, 0.9f, 0.2f, 0.33f}, {0.005f, 0.995f}, {-1.3f, 1, -1}}}},
};

void set_enabled(GLenum capability, bool on) {
    if (on)
        glEnable(capability);
    else
        glDisable(capability);
}

void draw_box() {
    glBegin(GL_QUADS);
    for (const face& f : box) {
        glNormal3f(f.normal[0], f.normal[1], f.normal[2]);
        for (int i = 0; i < 4; ++i) {
            const vertex& v = f.vertices[i];
            if (i == 0 || f.colour_per_vertex)
                glColor4f(v.colour[0], v.colour[1], v.colour[2], v.colour[3]);
            glTexCoord2f(v.tex[0], v.tex[1]);
            glVertex3f(v.position[0], v.position[1], v.position[2]);
        }
    }
    glEnd();
}

// A pixel-space layer for a caption at the top left. It sets up the projection and colours
// but draws nothing, so the picture is the box alone.
void draw_overlay() {
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, view_state.width, 0, view_state.height, -1, 1);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glColor4f(0.6f, 1.0f, 0.6f, 0.75f);
    glTranslatef(6, static_cast<GLfloat>(view_state.height - 14), 0);
    glColor4f(0.2f, 0.2f, 0.2f, 0.75f);
    glPopMatrix();
}

// Viewport and 45-degree perspective for the given size; a height of 0 counts as 1.
void resize_view(int width, int height) {
    if (height == 0) height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height),
                   static_cast<double>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    view_state.width = width;
    view_state.height = height;
}

}  // namespace

void init_gl(int width, int height) {
    build_texture();
    glClearColor(0.1f, 0.1f, 0.1f, 0.0f);
    glClearDepth(1.0);
    glDepthFunc(GL_LESS);
    glShadeModel(GL_SMOOTH);
    resize_view(width, height);
    // The modelview is still the identity, so the light is fixed relative to the viewer.
    glLightfv(GL_LIGHT1, GL_POSITION, view_state.light_position);
    glLightfv(GL_LIGHT1, GL_AMBIENT, view_state.light_ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, view_state.light_diffuse);
    glEnable(GL_LIGHT1);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
}

void draw_scene() {
    view_state_t& v = view_state;
    set_enabled(GL_TEXTURE_2D, v.texturing);
    set_enabled(GL_LIGHTING, v.lighting);
    glBlendFunc(GL_SRC_ALPHA, v.additive ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
    set_enabled(GL_DEPTH_TEST, !v.blending);  // blending and depth testing are never on together
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    static_cast<GLfloat>(v.linear_filter ? GL_LINEAR_MIPMAP_LINEAR
                                                         : GL_NEAREST_MIPMAP_NEAREST));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER,
                    static_cast<GLfloat>(v.linear_filter ? GL_LINEAR : GL_NEAREST));

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, v.z);
    glRotatef(v.x_rot, 1, 0, 0);
    glRotatef(v.y_rot, 0, 1, 0);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    draw_box();
    draw_overlay();

    v.x_rot += v.x_speed;
    v.y_rot += v.y_speed;
    glFlush();
}
