// Key bindings. Character keys flip switches and take effect in the next frame; keys without a
// character move the box or change the spin and draw a frame at once.
#include <GL/gl.h>

#include "app/app.h"
#include "scene/renderer.h"
#include "scene/view_state.h"

namespace {

void handle_character(int32_t character) {
    view_state_t& v = view_state;
    switch (character) {
    case 'l':
        toggle(v.lighting);
        break;
    case 'b':
        toggle(v.blending);
        if (v.blending)
            glEnable(GL_BLEND);
        else
            glDisable(GL_BLEND);
        break;
    case 'm':
        if (++v.env_mode_index > 3) v.env_mode_index = 0;
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, view_state_t::env_modes[v.env_mode_index]);
        break;
    case 't':
        toggle(v.texturing);
        break;
    case 'a':
        toggle(v.additive);
        break;
    case 'f':
        toggle(v.linear_filter);
        break;
    case ' ':
        v.y_speed = 0;
        v.x_speed = 0;
        break;
    case 'r':
        v.x_speed = -v.x_speed;
        v.y_speed = -v.y_speed;
        break;
    default:
        break;
    }
}

// Keys without a character: each adds its step to one field.
struct code_binding {
    uint16_t code;
    float view_state_t::*field;
    float step;
};

constexpr code_binding code_bindings[] = {
    {GI_KEY_PAGE_UP, &view_state_t::z, -0.05f},       // the box moves away
    {GI_KEY_PAGE_DOWN, &view_state_t::z, 0.05f},      // nearer
    {GI_KEY_UP, &view_state_t::x_speed, -0.01f},
    {GI_KEY_DOWN, &view_state_t::x_speed, 0.01f},
    {GI_KEY_LEFT, &view_state_t::y_speed, -0.01f},
    {GI_KEY_RIGHT, &view_state_t::y_speed, 0.01f},
};

void handle_code(uint16_t code) {
    for (const code_binding& binding : code_bindings)
        if (binding.code == code) view_state.*binding.field += binding.step;
}

}  // namespace

void handle_key(const message_record& message) {
    if (message.character != 0) {
        handle_character(message.character);
        return;
    }
    handle_code(message.code);
    draw_scene();
}
