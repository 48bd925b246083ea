#include "platform/gui/window/sdl_api.h"

#include <dlfcn.h>

const sdl_api* load_sdl(std::string& error) {
    static sdl_api api;
    static bool loaded = false;
    if (loaded) return &api;
    void* library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        error = dlerror();
        return nullptr;
    }
#define KAVEX_SDL_LOAD(name)                                                                   \
    api.name = reinterpret_cast<decltype(api.name)>(dlsym(library, #name));                    \
    if (!api.name) {                                                                           \
        error = "libSDL2-2.0.so.0 has no " #name;                                              \
        return nullptr;                                                                        \
    }
    KAVEX_SDL_FUNCTIONS(KAVEX_SDL_LOAD)
#undef KAVEX_SDL_LOAD
    loaded = true;
    return &api;
}
