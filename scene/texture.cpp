#include "scene/texture.h"

#include <GL/glu.h>

#include <cstdint>
#include <cstdlib>

#include "platform/platform.h"

GLuint texture_id;

namespace {

constexpr int size = 128;

struct texel_rgba {
    uint8_t r, g, b, a;
};

// The texel at (x, y), from integer arithmetic on x and y alone.
texel_rgba texel(int x, int y) {
    const bool blue = (y + 4) % 32 < 8 && (x + 4) % 32 < 8;
    const int d = (x - 64) * (x - 64) + (y - 64) * (y - 64);
    const uint8_t alpha = d < 3300 ? 255 : d <= 3399 ? 128 : 0;
    if (blue) return {0, 0, 120, alpha};
    return {240, 240, 240, alpha};
}

}  // namespace

void build_texture() {
    glGenTextures(1, &texture_id);
    glBindTexture(GL_TEXTURE_2D, texture_id);

    // Scratch for the upload only; 64 KiB is comfortably within the stack.
    uint8_t image[size * size * 4];
    for (int x = 0; x < size; ++x) {
        for (int y = 0; y < size; ++y) {
            const texel_rgba t = texel(x, y);
            uint8_t* p = image + (y * size + x) * 4;
            p[0] = t.r;
            p[1] = t.g;
            p[2] = t.b;
            p[3] = t.a;
        }
    }
    if (gluBuild2DMipmaps(GL_TEXTURE_2D, 4, size, size, GL_RGBA, GL_UNSIGNED_BYTE, image) != 0) {
        printd("Unable to create mipmaps...\n ");
        exit(-1);
    }
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLfloat>(GL_REPEAT));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLfloat>(GL_REPEAT));
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_DECAL));
}
