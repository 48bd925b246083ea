#include "platform/snap.h"

#include <GL/gl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/recorder.h"
#include "platform/runtime.h"
#include "platform/script.h"  // load_script

namespace {

// The home folder: HOME, else the user's entry in the password database.
const char* home_folder() {
    const char* home = env_value("HOME");
    if (home) return home;
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir && *user->pw_dir ? user->pw_dir : nullptr;
}

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
std::string screenshot_folder(std::string& error) {
    const char* home = home_folder();
    if (!home) {
        error = "cannot save a screenshot: HOME is not set";
        return {};
    }
    const char* config = env_value("XDG_CONFIG_HOME");
    const std::string dirs_file = (config && config[0] == '/' ? std::string(config)
                                                              : std::string(home) + "/.config") +
                                  "/user-dirs.dirs";
    std::string text, unread;
    std::string pictures;
    if (load_script(("@" + dirs_file).c_str(), text, unread))  // a small regular file, read whole
        pictures = pictures_from_user_dirs(text, home);
    if (pictures.empty()) pictures = std::string(home) + "/Pictures";
    return pictures + "/kavex-view";
}

// Makes the folder and those above it that are missing, as `mkdir -p` does.
bool make_folders(const std::string& folder, std::string& error) {
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            error = "cannot make the folder " + quoted(part) + ": " + strerror(errno);
            return false;
        }
        if (slash == std::string::npos) return true;
    }
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
        error = "cannot write " + quoted(path) + ": " + strerror(ENOMEM);
        return false;
    }
}

void take_screenshot(const kgl_engine& engine, time_t when) {
    constexpr int most_names = 1000;  // a second's worth of screenshots and more
    std::string error;
    const std::string folder = screenshot_folder(error);
    if (!folder.empty() && make_folders(folder, error)) {
        struct tm local = {};
        localtime_r(&when, &local);
        char stamp[32];
        strftime(stamp, sizeof stamp, "kavex-view-%Y%m%d-%H%M%S", &local);
        for (int n = 1; n <= most_names && error.empty(); ++n) {
            const std::string name = stamp + (n > 1 ? "-" + std::to_string(n) : "") + ".png";
            if (snap_engine(engine, folder + "/" + name, error, existing_file::keep)) {
                printf("%s/%s\n", folder.c_str(), name.c_str());
                fflush(stdout);
                record_snap(name);
                return;
            }
        }
        if (error.empty())
            error = "cannot save a screenshot: " + std::to_string(most_names) + " names from " +
                    stamp + ".png on are taken in " + quoted(folder);
    }
    warn("%s", error.c_str());
}
