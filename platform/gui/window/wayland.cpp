#include "platform/gui/window/wayland.h"

#include <SDL_syswm.h>
#include <dlfcn.h>
#include <poll.h>
#include <wayland-client-core.h>

#include <utility>

namespace {

// libwayland-client's functions, looked up where SDL has loaded it.
struct wayland_api {
    decltype(&wl_proxy_marshal_flags) marshal_flags;
    decltype(&wl_proxy_add_listener) add_listener;
    decltype(&wl_proxy_destroy) destroy;
    decltype(&wl_proxy_get_version) get_version;
    decltype(&wl_display_flush) flush;
    decltype(&wl_display_get_fd) get_fd;
    const wl_interface* callback_interface;
};

const wayland_api* wayland() {
    static const wayland_api* loaded = [] {
        static wayland_api api;
        void* library = dlopen("libwayland-client.so.0", RTLD_LAZY | RTLD_NOLOAD);
        if (!library) return static_cast<wayland_api*>(nullptr);
        const auto find = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                dlsym(library, name));
            return function != nullptr;
        };
        const bool found = find(api.marshal_flags, "wl_proxy_marshal_flags") &&
                           find(api.add_listener, "wl_proxy_add_listener") &&
                           find(api.destroy, "wl_proxy_destroy") &&
                           find(api.get_version, "wl_proxy_get_version") &&
                           find(api.flush, "wl_display_flush") &&
                           find(api.get_fd, "wl_display_get_fd") &&
                           find(api.callback_interface, "wl_callback_interface");
        dlclose(library);  // SDL keeps it loaded
        return found ? &api : nullptr;
    }();
    return loaded;
}

// wl_surface's requests, by their number in the protocol.
constexpr uint32_t surface_damage = 2;
constexpr uint32_t surface_frame = 3;
constexpr uint32_t surface_commit = 6;

}  // namespace

wayland_window::wayland_window(const sdl_api& sdl, SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!wayland() || !sdl.SDL_GetWindowWMInfo(window, &info) ||
        info.subsystem != SDL_SYSWM_WAYLAND)
        return;
    display_ = info.info.wl.display;
    surface_ = reinterpret_cast<wl_proxy*>(info.info.wl.surface);
}

wayland_window& wayland_window::operator=(wayland_window&& other) noexcept {
    std::swap(display_, other.display_);
    std::swap(surface_, other.surface_);
    std::swap(callback_, other.callback_);
    std::swap(asked_, other.asked_);
    return *this;
}

wayland_window::~wayland_window() {
    if (callback_) wayland()->destroy(callback_);
}

void wayland_window::ask() {
    asked_ = false;
    if (!surface_ || callback_) return;
    const wayland_api& wl = *wayland();
    callback_ = wl.marshal_flags(surface_, surface_frame, wl.callback_interface,
                                 wl.get_version(surface_), 0, nullptr);
    static void (*listener[])() = {reinterpret_cast<void (*)()>(done)};  // wl_callback's
    if (callback_) wl.add_listener(callback_, listener, this);
}

void wayland_window::watch() {
    ask();
    if (!surface_) return;
    const wayland_api& wl = *wayland();
    const uint32_t version = wl.get_version(surface_);
    // A pixel damaged, the picture unchanged: a compositor repaints only where there is damage,
    // and calls back only once it repaints.
    wl.marshal_flags(surface_, surface_damage, nullptr, version, 0, 0, 0, 1, 1);
    wl.marshal_flags(surface_, surface_commit, nullptr, version, 0);
    wl.flush(static_cast<wl_display*>(display_));
}

bool wayland_window::wait(int ms) const {
    if (!display_) return false;
    wayland()->flush(static_cast<wl_display*>(display_));
    pollfd events{wayland()->get_fd(static_cast<wl_display*>(display_)), POLLIN, 0};
    return poll(&events, 1, ms) == 1;
}

void wayland_window::done(void* self, wl_proxy* callback, uint32_t) {
    auto* window = static_cast<wayland_window*>(self);
    wayland()->destroy(callback);
    window->callback_ = nullptr;
    window->asked_ = true;
}
