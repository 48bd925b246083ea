#include "platform/gui/window/x11.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include "platform/runtime/errors.h"

namespace {

using get_attributes_function = Status (*)(Display*, Window, XWindowAttributes*);
get_attributes_function get_attributes;

int on_lost_display(Display*) { fail(1, "lost the connection to the display"); }

}  // namespace

void handle_lost_x_display() {
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!xlib) return;
    using set_handler = XIOErrorHandler (*)(XIOErrorHandler);
    if (auto set = reinterpret_cast<set_handler>(dlsym(xlib, "XSetIOErrorHandler")))
        set(on_lost_display);
    get_attributes = reinterpret_cast<get_attributes_function>(
        dlsym(xlib, "XGetWindowAttributes"));
    dlclose(xlib);  // SDL keeps it loaded
}

x11_window::x11_window(const sdl_api& sdl, SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!get_attributes || !sdl.SDL_GetWindowWMInfo(window, &info) ||
        info.subsystem != SDL_SYSWM_X11)
        return;
    display_ = info.info.x11.display;
    window_ = info.info.x11.window;
}

visibility x11_window::seen() const {
    XWindowAttributes attributes;
    if (!display_ || !get_attributes(static_cast<Display*>(display_), window_, &attributes))
        return visibility::unknown;
    return attributes.map_state == IsViewable ? visibility::shown : visibility::hidden;
}
