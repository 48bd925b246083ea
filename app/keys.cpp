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

void handle_code(uint16_t code) {
    view_state_t& v = view_state;
    switch (code) {
    case GI_KEY_PAGE_UP:
        v.z -= 0.05f;
        break;
    case GI_KEY_PAGE_DOWN:
        v.z += 0.05f;
        break;
    case GI_KEY_UP:
        v.x_speed -= 0.01f;
        break;
    case GI_KEY_DOWN:
        v.x_speed += 0.01f;
        break;
    case GI_KEY_LEFT:
        v.y_speed -= 0.01f;
        break;
    case GI_KEY_RIGHT:
        v.y_speed += 0.01f;
        break;
    default:
        break;
    }
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
