// The PNG writer. The picture goes into an unnamed file (O_TMPFILE) in the target's directory,
// which gets a name only when it is complete: a new file is linked straight to its name, a file
// that is replaced through a short temporary name and a rename, with the catchable signals held
// back for those few microseconds. Where the file system has no unnamed files, a named
// temporary file is written instead, with the signals held back from its creation until it is
// renamed (linked, where an existing file must be kept) or removed. No fsync: a snap costs
// about a millisecond, a flush to disk several, and what is promised is a whole file or none
// whatever befalls the process, not a power cut.
#include "platform/pictures/png_writer.h"

#include <fcntl.h>
#include <png.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/runtime/errors.h"
#include "platform/runtime/files.h"
#include "platform/runtime/signals.h"

namespace {


struct descriptor {
    int fd = -1;
    ~descriptor() {
        if (fd >= 0) close(fd);
    }
    int release() { return std::exchange(fd, -1); }
};

// Where libpng's bytes go, and why writing them failed.
struct sink {
    int fd;
    int error = ENOMEM;  // libpng fails on its own only when memory runs out
};

void write_out(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<sink*>(png_get_io_ptr(png));
    if ((out->error = write_all(out->fd, data, size)) != 0) png_longjmp(png, 1);
}

void flush_nothing(png_structp) {}

// libpng's own handlers print lines of their own; the program prints the one that matters.
[[noreturn]] void on_png_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_png_warning(png_structp, png_const_charp) {}

// Encodes into out's file; returns 0 or the errno value of what failed.
int encode(sink& out, const uint8_t* rgb, int width, int height) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, on_png_warning);
    if (!png) return ENOMEM;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return out.error;
    }
    png_set_write_fn(png, &out, write_out, flush_nothing);
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
    return 0;
}

// Gives the unnamed file a name in dir; EEXIST if the name is taken.
int link_unnamed(int fd, int dir, const char* name) {
    if (linkat(fd, "", dir, name, AT_EMPTY_PATH) == 0) return 0;
    if (errno == EEXIST) return EEXIST;
    // AT_EMPTY_PATH may need a privilege; /proc gives the same without it.
    char self[32];
    snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    return linkat(AT_FDCWD, self, dir, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Calls make with fresh temporary names until one is free: short and unrelated to the
// target's name, so that a name of 255 bytes still fits. On failure temp is left empty.
template <typename Make>
int take_temporary_name(char (&temp)[32], Make make) {
    static unsigned counter = 0;
    int problem = EEXIST;
    for (int tries = 0; problem == EEXIST && tries < 100; ++tries) {
        unsigned value;
        if (getrandom(&value, sizeof value, GRND_NONBLOCK) != sizeof value)
            value = static_cast<unsigned>(getpid()) ^ ++counter << 20;
        snprintf(temp, sizeof temp, ".kavex-view-%08x.tmp", value);
        problem = make(temp);
    }
    if (problem) temp[0] = '\0';
    return problem;
}

// Returns 0, an errno value or not_regular; EEXIST only where an existing name is kept.
int save(const std::string& path, const uint8_t* rgb, int width, int height, bool keep) {
    std::string target = path;
    if (!keep && !follow_links(target)) return errno;
    const auto slash = target.rfind('/');
    const std::string name = target.substr(slash + 1);  // all of it where there is no '/'
    if (name.empty()) return EISDIR;
    const std::string dir_path = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    descriptor dir{open(dir_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd < 0) return errno;
    struct stat old;
    const bool replacing = fstatat(dir.fd, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (!replacing && errno != ENOENT) return errno;
    if (replacing && keep) return EEXIST;
    if (replacing && !S_ISREG(old.st_mode)) return S_ISDIR(old.st_mode) ? EISDIR : not_regular;

    std::optional<signals_held> held;  // while a temporary name exists
    char temp[32] = "";
    descriptor file{openat(dir.fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666)};
    if (file.fd < 0) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
        held.emplace();
        const int problem = take_temporary_name(temp, [&](const char* t) {
            file.fd = openat(dir.fd, t, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            return file.fd < 0 ? errno : 0;
        });
        if (problem) return problem;
    }
    // A replaced file keeps its permission bits, and its owner where the process may set it.
    int problem = 0;
    if (replacing && fchown(file.fd, old.st_uid, old.st_gid) != 0 && errno != EPERM)
        problem = errno;
    if (replacing && !problem && fchmod(file.fd, old.st_mode & 0777) != 0) problem = errno;
    sink out{file.fd};
    if (!problem) problem = encode(out, rgb, width, height);
    if (!problem && !temp[0]) {
        if (!replacing) problem = link_unnamed(file.fd, dir.fd, name.c_str());
        if (replacing || (problem == EEXIST && !keep)) {
            held.emplace();
            problem = take_temporary_name(
                temp, [&](const char* t) { return link_unnamed(file.fd, dir.fd, t); });
        }
    }
    if (close(file.release()) != 0 && !problem) problem = errno;
    // A kept name is taken by a link, which fails where the name exists; others by a rename.
    if (!problem && temp[0])
        problem = (keep ? linkat(dir.fd, temp, dir.fd, name.c_str(), 0)
                        : renameat(dir.fd, temp, dir.fd, name.c_str())) == 0
                      ? 0
                      : errno;
    if (temp[0] && (problem || keep)) unlinkat(dir.fd, temp, 0);
    return problem;
}

}  // namespace

bool write_png(const std::string& path, const uint8_t* rgb, int width, int height,
               std::string& error, existing_file existing) {
    const bool keep = existing == existing_file::keep;
    const int problem = save(path, rgb, width, height, keep);
    if (problem && !(keep && problem == EEXIST))
        error = "cannot write " + quoted(path) + ": " +
                (problem == not_regular ? "not a regular file" : strerror(problem));
    return problem == 0;
}
