#include "platform/png_writer.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Encodes into an open file; false if libpng or the file reports an error.
bool encode(FILE* file, const uint8_t* rgb, int width, int height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    // Level 1 with the Sub filter: about the fastest of the settings kavex-bench surveys, with
    // the smallest files among the fast ones; higher levels cost several times more for a
    // frame that is mostly flat background.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t stride = static_cast<size_t>(width) * 3;
    for (int y = height - 1; y >= 0; --y)
        png_write_row(png, const_cast<uint8_t*>(rgb + y * stride));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return fflush(file) == 0 && !ferror(file);
}

}  // namespace

bool write_png(const std::string& path, const uint8_t* rgb, int width, int height,
               std::string& error) {
    std::vector<char> temp(path.begin(), path.end());
    const char suffix[] = ".tmp-XXXXXX";
    temp.insert(temp.end(), suffix, suffix + sizeof suffix);
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot write '" + path + "': " + strerror(errno);
        return false;
    }
    // mkstemp creates the file private to the owner; give it the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    FILE* file = fdopen(fd, "wb");
    errno = 0;
    bool ok = file && encode(file, rgb, width, height);
    int saved_errno = errno ? errno : EIO;
    if (file ? fclose(file) != 0 : close(fd) != 0) {
        if (ok) saved_errno = errno;
        ok = false;
    }
    if (ok && rename(temp.data(), path.c_str()) != 0) {
        saved_errno = errno;
        ok = false;
    }
    if (!ok) {
        unlink(temp.data());
        error = "cannot write '" + path + "': " + strerror(saved_errno);
    }
    return ok;
}
