#include "platform/gui/window/display.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <charconv>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>

#include "platform/runtime/errors.h"
#include "platform/runtime/settings.h"

namespace {

// Where the Wayland display's socket is: WAYLAND_DISPLAY itself where it is a path, else in
// XDG_RUNTIME_DIR (empty where that is not set either).
std::string wayland_socket(const settings& given) {
    const std::string name = given.wayland_display;
    if (name[0] == '/') return name;
    const char* folder = given.runtime_dir;
    return folder && folder[0] == '/' ? folder + ("/" + name) : std::string();
}

// Where the display number of an X display name "HOST:N.S" starts and where it ends (at the
// screen's dot, or npos). Read as Xlib reads it, from the last colon: an IPv6 host has colons.
std::pair<size_t, size_t> x_number(const std::string& name) {
    const size_t colon = name.rfind(':');
    const size_t start = colon == std::string::npos ? 0 : colon + 1;
    return {start, name.find('.', start)};
}

}  // namespace

bool answers(const std::string& path) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    path.copy(address.sun_path, path.size());
    if (path[0] == '@') address.sun_path[0] = '\0';
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const socklen_t size = offsetof(sockaddr_un, sun_path) + path.size();
    const bool connected = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), size) == 0;
    if (fd >= 0) close(fd);
    return connected;
}

// Wayland first where a compositor answers, as SDL 3, GTK 4 and Qt 6 prefer: a desktop's
// Wayland session sets DISPLAY too (Xwayland), and only a Wayland window is drawn in the
// screen's own pixels there. Then X11, and a Wayland display that does not answer last, so
// that the line about it names both. Only drivers that show a window: with the display out of
// reach SDL would fall back to its offscreen driver and the program run unseen.
display_choice choose_display(const settings& given, bool (*listens)(const std::string& path)) {
    if (given.video_driver) return {};
    const std::string socket = given.wayland_display ? wayland_socket(given) : "";
    // Without XDG_RUNTIME_DIR, libwayland would only write its own complaint on stderr.
    if (given.wayland_display && socket.empty() && !given.display)
        return {{}, "WAYLAND_DISPLAY is set, but XDG_RUNTIME_DIR, where its socket is, is not"};
    if (!given.wayland_display && !given.display)
        return {{}, "neither DISPLAY nor WAYLAND_DISPLAY is set"};
    const bool answering = !socket.empty() && listens(socket);
    std::string drivers = answering ? "wayland" : "";
    if (given.display) drivers += drivers.empty() ? "x11" : ",x11";
    if (!socket.empty() && !answering) drivers += drivers.empty() ? "wayland" : ",wayland";
    return {drivers, {}};
}

// SDL says only "x11 not available", which reads as a missing library when nothing answered.
std::string unanswered(const settings& given, const std::string& drivers,
                       bool (*listens)(const std::string& path)) {
    std::string why;
    if (drivers.find("x11") != std::string::npos) {
        const std::string name = given.display;
        // A local X server (":N" or "unix:N", with ".S" after) listens on its socket.
        const auto [start, dot] = x_number(name);
        const std::string socket = "/tmp/.X11-unix/X" + name.substr(start, dot - start);
        const bool local = start == 1 || (start > 0 && name.compare(0, start - 1, "unix") == 0);
        why = local && (listens("@" + socket) || listens(socket))
                  ? "the X server on " + quoted(name) + " refused the connection"
                  : "no X server answers on " + quoted(name);
    }
    if (drivers.find("wayland") != std::string::npos) {
        why += why.empty() ? "no Wayland compositor answers on " : ", nor a Wayland compositor on ";
        why += quoted(wayland_socket(given));
    }
    return why;
}

int x_screen(const char* display) {
    const std::string name = display;
    const size_t dot = x_number(name).second;
    int screen = 0;
    if (dot != std::string::npos) std::from_chars(&name[dot + 1], &name[0] + name.size(), screen);
    return screen;
}

stuck_wait display_wait(const settings& given, const char* driver) {
    const bool wayland = driver ? strncmp(driver, "wayland", 7) == 0 : !given.display;
    const char* name = wayland ? given.wayland_display : given.display;
    return {1, "for the display " + quoted(name ? name : "") + " to answer"};
}

void cannot_open_window(const std::string& why) {
    fail(1, "cannot open a window: %s; KAVEX_PLATFORM=headless runs without a display",
         why.c_str());
}
