// SDL2, loaded when the window backend starts rather than linked: a headless run then never
// loads SDL and the fifty-odd libraries it depends on, which costs several milliseconds of
// every start. The table keeps SDL's own names and types.
#pragma once

#include <SDL.h>

#include <string>

// From SDL_syswm.h, which would bring Xlib's macros to every user of the table.
extern "C" SDL_bool SDL_GetWindowWMInfo(SDL_Window* window, struct SDL_SysWMinfo* info);

#define KAVEX_SDL_FUNCTIONS(X)                                                                 \
    X(SDL_SetHint) X(SDL_SetHintWithPriority) X(SDL_Init) X(SDL_GetError)                      \
    X(SDL_GetCurrentVideoDriver) X(SDL_CreateWindow) X(SDL_DestroyWindow) X(SDL_HideWindow)    \
    X(SDL_ShowWindow) X(SDL_GetWindowWMInfo) X(SDL_SetWindowIcon)                              \
    X(SDL_GetWindowDisplayIndex) X(SDL_GetCurrentDisplayMode) X(SDL_GetDisplayBounds)          \
    X(SDL_GetWindowSize) X(SDL_GetWindowSizeInPixels) X(SDL_GetPerformanceFrequency)           \
    X(SDL_GetPerformanceCounter) X(SDL_Delay) X(SDL_StartTextInput) X(SDL_PollEvent)           \
    X(SDL_WaitEventTimeout) X(SDL_PeepEvents) X(SDL_GetWindowSurface)                          \
    X(SDL_UpdateWindowSurfaceRects) X(SDL_LockSurface) X(SDL_UnlockSurface)                    \
    X(SDL_ConvertPixels) X(SDL_CreateRGBSurfaceWithFormatFrom)                                 \
    X(SDL_FreeSurface) X(SDL_GL_GetCurrentContext) X(SDL_GL_MakeCurrent)                       \
    X(SDL_ShowSimpleMessageBox) X(SDL_SetWindowMinimumSize) X(SDL_SetWindowFullscreen)         \
    X(SDL_GetWindowFlags) X(SDL_GetDisplayUsableBounds) X(SDL_CreateRenderer)                  \
    X(SDL_DestroyRenderer) X(SDL_GetRendererInfo) X(SDL_RenderSetLogicalSize)                  \
    X(SDL_RenderSetIntegerScale) X(SDL_SetRenderDrawColor) X(SDL_CreateTexture)                \
    X(SDL_SetTextureScaleMode) X(SDL_LockTexture) X(SDL_UnlockTexture) X(SDL_RenderClear)      \
    X(SDL_RenderCopy) X(SDL_RenderPresent) X(SDL_PumpEvents)

struct sdl_api {
#define KAVEX_SDL_POINTER(name) decltype(&::name) name;
    KAVEX_SDL_FUNCTIONS(KAVEX_SDL_POINTER)
#undef KAVEX_SDL_POINTER
};

// Loads SDL2 on first use; null, with the reason in error, if it cannot be loaded.
const sdl_api* load_sdl(std::string& error);
