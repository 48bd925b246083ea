// The interface each backend implements: where messages come from, where the engine's image
// goes, and how an error box is shown. The GUI library picks one backend at start and never
// asks which one is running.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

struct kgl_engine;
struct settings;

class backend {
public:
    virtual ~backend() = default;
    // Blocks until the next message, fills its type, character and code and returns true. A
    // backend that waits returns within a second even with nothing to deliver, then with false,
    // so the GUI library sees a signal's close request in time.
    // engine is the image bound to the application, or null before kglMakeCurrent.
    virtual bool next_message(message_record& message, const kgl_engine* engine) = 0;
    // Shows the engine's current image; called after every dispatched message.
    virtual void present(const kgl_engine& engine) = 0;
    // Shows a modal error box where the backend can; the GUI library has written it on stderr.
    virtual void message_box(const char* caption, const char* text) = 0;
    virtual void destroy_window() = 0;
    // Lines that say how the backend shows pictures, for --info; none where it shows none.
    virtual std::string description() { return {}; }
};

// Each ends the process with a one-line error if it cannot start.
std::unique_ptr<backend> make_window_backend(const settings& given, const app_params& params);
std::unique_ptr<backend> make_headless_backend(const settings& given);

// The window backend on the given SDL functions: the loaded library, or a stand-in table.
struct sdl_api;
std::unique_ptr<backend> make_window_backend(const sdl_api& sdl, const settings& given,
                                             const app_params& params);
