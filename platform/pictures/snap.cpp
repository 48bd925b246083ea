#include "platform/pictures/snap.h"

#include <GL/gl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/runtime/errors.h"
#include "platform/runtime/files.h"

namespace {

// The value XDG_PICTURES_DIR takes in user-dirs.dirs text, which has lines of the form
// XDG_PICTURES_DIR="$HOME/Pictures" (a path in the home folder, shell-quoted) or "/path";
// the last such line counts. Empty where none does.
std::string pictures_from_user_dirs(std::string_view text, const std::string& home) {
    std::string found;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line.remove_prefix(std::min(line.size(), line.find_first_not_of(" \t")));
        const std::string_view name = "XDG_PICTURES_DIR=";
        if (line.substr(0, name.size()) != name) continue;
        line.remove_prefix(name.size());
        std::string value;
        const bool in_quotes = !line.empty() && line[0] == '"';
        for (size_t i = in_quotes; i < line.size(); ++i) {
            if (in_quotes ? line[i] == '"' : line[i] == ' ' || line[i] == '\t' || line[i] == '#')
                break;
            if (line[i] == '\\' && i + 1 < line.size()) ++i;
            value += line[i];
        }
        if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/'))
            found = home + value.substr(5);
        else if (!value.empty() && value[0] == '/')
            found = value;
    }
    return found;
}

// The folder screenshots go into, or empty with the reason in error.
std::string screenshot_folder(const char* home, const char* config_home, std::string& error) {
    const passwd* user = home ? nullptr : getpwuid(getuid());
    if (!home && user && user->pw_dir && *user->pw_dir) home = user->pw_dir;
    if (!home) {
        error = "cannot save a screenshot: HOME is not set";
        return {};
    }
    const std::string dirs_file =
        (config_home && config_home[0] == '/' ? std::string(config_home)
                                              : std::string(home) + "/.config") +
        "/user-dirs.dirs";
    std::string text;
    std::string pictures;
    if (read_small_file(dirs_file.c_str(), 1 << 20, text) == 0)
        pictures = pictures_from_user_dirs(text, home);
    if (pictures.empty()) pictures = std::string(home) + "/Pictures";
    return pictures + "/kavex-view";
}

}  // namespace

bool snap_engine(const kgl_engine& engine, const std::string& path, std::string& error,
                 existing_file existing) {
    static std::vector<uint8_t> pixels;
    try {
        pixels.resize(static_cast<size_t>(engine.width) * engine.height * 3);
        engine_read_pixels(engine, GL_RGB, pixels.data());
        return write_png(path, pixels.data(), engine.width, engine.height, error, existing);
    } catch (const std::bad_alloc&) {
        release_reserve();
        error = "cannot write " + ::quoted(path) + ": " + strerror(ENOMEM);
        return false;
    }
}

saved_picture take_screenshot(const kgl_engine& engine, time_t when, const char* home,
                              const char* config_home, std::string& error) {
    constexpr int most_names = 1000;  // a second's worth of screenshots and more
    saved_picture saved{screenshot_folder(home, config_home, error), {}};
    std::error_code made;
    if (!saved.folder.empty() && !std::filesystem::create_directories(saved.folder, made) && made)
        error = "cannot make the folder " + ::quoted(saved.folder) + ": " + made.message();
    if (!error.empty()) return {};
    struct tm local = {};
    localtime_r(&when, &local);
    char stamp[32];
    strftime(stamp, sizeof stamp, "kavex-view-%Y%m%d-%H%M%S", &local);
    for (int n = 1; n <= most_names && error.empty(); ++n) {
        saved.name = stamp + (n > 1 ? "-" + std::to_string(n) : "") + ".png";
        if (snap_engine(engine, saved.folder + "/" + saved.name, error, existing_file::keep))
            return saved;
    }
    if (error.empty())
        error = "cannot save a screenshot: " + std::to_string(most_names) + " names from " +
                stamp + ".png on are taken in " + ::quoted(saved.folder);
    return {};
}
