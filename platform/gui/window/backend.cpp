// The window backend (SDL2): the window (window.h), the keyboard's keys as key messages
// (keyboard.h), and redraw messages at the display's pace and none while the window does not
// show (pacer.h). The window's own keys (fullscreen, screenshot, status layer, Ctrl+Q) are the
// platform's and never reach the program as keys. With a script, the window plays it at the
// display's pace instead of taking the keyboard's keys.
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include "platform/gui/backend.h"
#include "platform/gui/window/display.h"
#include "platform/gui/window/keyboard.h"
#include "platform/gui/window/window.h"
#include "platform/pictures/snap.h"
#include "platform/runtime/errors.h"
#include "platform/runtime/files.h"
#include "platform/runtime/settings.h"
#include "platform/session/player.h"
#include "platform/session/record.h"

namespace {

// While the window rests, how long a wait for its events lasts before the GUI library gets a
// chance to see a close request.
constexpr int rest_wait_ms = 250;

// Writes text on stdout where it takes it now: a launcher may capture stdout and never read it.
bool write_at_once(const std::string& text) {
    pollfd out{STDOUT_FILENO, POLLOUT, 0};
    if (poll(&out, 1, 0) != 1 || !(out.revents & POLLOUT)) return false;
    static const stuck_wait stdout_wait{1, "to write on standard output"};
    const waiting_on wait(stdout_wait);
    return write_all(STDOUT_FILENO, text.data(), text.size()) == 0;
}

// Saves a screenshot: its line in the record first, then its path on stdout, or on stderr
// where stdout is the record, so that the record still replays.
void save_screenshot(const kgl_engine& engine, const settings& given) {
    std::string error;
    const saved_picture saved =
        take_screenshot(engine, time(nullptr), given.home, given.config_home, error);
    if (saved.name.empty()) return warn("%s", error.c_str());
    record_snap(saved.name);
    const std::string path = saved.folder + "/" + saved.name;
    if (is_record_of(STDOUT_FILENO))
        fprintf(stderr, "%s\n", path.c_str());
    else if (!write_at_once(path + "\n"))
        warn("standard output takes no line now; saved the screenshot as %s",
             quoted(path).c_str());
}

class window_backend final : public backend {
public:
    window_backend(const sdl_api& sdl, const settings& given, const app_params& params)
        : sdl_(sdl),
          given_(given),
          script_(given.script ? std::optional<script_player>(std::in_place, given.script, false)
                               : std::nullopt),  // its errors before any window
          window_(sdl, given, params),
          // Where presenting waits for the display's vertical sync, that paces the frames.
          pacer_(window_.synced() ? 0 : sdl.SDL_GetPerformanceFrequency() / window_.refresh_rate(),
                 sdl.SDL_GetPerformanceCounter()) {}

    bool next_message(message_record& message, const kgl_engine* engine) override {
        const waiting_on wait(window_.display());
        for (;;) {
            if (typed_at_ < typed_.count) {
                message.type = GI_MSG_KEY;
                message.character = typed_.characters[typed_at_++];
                message.code = typed_.code;
                return true;
            }
            // Events are taken once a frame rather than waited for (a key waits a frame at most):
            // SDL's wait on the display's connection costs a dozen failed reads every frame.
            SDL_Event event;
            const bool got = sdl_.SDL_PollEvent(&event);
            window_.take_back_context(engine);
            if (got && take_event(event, engine, message)) return true;
            if (got) continue;
            if (pacer_.resting()) return rest(message, engine);
            if (!window_.frame_due()) {
                window_event(SDL_WINDOWEVENT_NONE);  // a compositor may have stopped asking
                return false;
            }
            if (script_ && !script_->next_draws())
                script_->next(message, engine);
            else
                next_frame(message, engine);
            return true;
        }
    }

    void present(const kgl_engine& engine) override {
        if (pacer_.resting()) return;
        char text[128];
        const bool status = status_layer_ && GI_status_text && GI_status_text(text, sizeof text);
        window_.present(engine, status ? text : nullptr);
    }

    std::string description() override { return window_.description(); }

    void message_box(const char* caption, const char* text) override {
        window_.message_box(caption, text);
    }

    void destroy_window() override { window_.destroy(); }

private:
    // Waits for an event while the window does not show; false where none came.
    bool rest(message_record& message, const kgl_engine* engine) {
        SDL_Event event;
        const bool woke = sdl_.SDL_WaitEventTimeout(&event, rest_wait_ms);
        window_.take_back_context(engine);
        // Whether it shows again, as the X server or the compositor says, however it woke.
        window_event(SDL_WINDOWEVENT_NONE);
        return woke && take_event(event, engine, message);
    }

    // Waits for the next frame's time and delivers its message.
    void next_frame(message_record& message, const kgl_engine* engine) {
        Uint64 now = sdl_.SDL_GetPerformanceCounter();
        if (const Uint64 wait = pacer_.wait(now)) {
            const Uint64 frequency = sdl_.SDL_GetPerformanceFrequency();
            sdl_.SDL_Delay(static_cast<Uint32>((wait * 1000 + frequency - 1) / frequency));
            now = sdl_.SDL_GetPerformanceCounter();
        }
        pacer_.take(now);
        if (script_)
            script_->next(message, engine);
        else
            message.type = GI_MSG_REDRAW;
        drawn_ = true;
    }

    // Turns an SDL event into a message; false for events that make none.
    bool take_event(const SDL_Event& event, const kgl_engine* engine, message_record& message) {
        if (event.type == SDL_QUIT) {
            message.type = GI_MSG_CLOSE;
            return true;
        }
        if (event.type == SDL_KEYDOWN || event.type == SDL_TEXTINPUT)
            return take_key(event, engine, message);
        if (event.type != SDL_WINDOWEVENT) return false;
        window_event(event.window.event);
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) window_.resized();
        // A script's frames are its own: the next one shows the window again.
        if (event.window.event != SDL_WINDOWEVENT_EXPOSED || script_) return false;
        message.type = GI_MSG_REDRAW;
        drawn_ = true;
        return true;
    }

    // A key: the window's own acted on, Ctrl+Q a close, typed keys queued as key messages (but
    // while a script plays).
    bool take_key(const SDL_Event& event, const kgl_engine* engine, message_record& message) {
        SDL_Event next;
        const bool queued =
            sdl_.SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1;
        const key_input input = read_key(event, queued ? &next : nullptr, window_.fullscreen());
        if (input.key == window_key::close) {
            message.type = GI_MSG_CLOSE;
            return true;
        }
        if (input.key == window_key::fullscreen) window_.toggle_fullscreen();
        if (input.key == window_key::status_layer) status_layer_ = !status_layer_;
        if (input.key == window_key::screenshot && engine && drawn_)
            save_screenshot(*engine, given_);
        else if (input.key == window_key::screenshot)
            warn("cannot save a screenshot: nothing is drawn yet");
        if (!script_) {
            typed_ = input;
            typed_at_ = 0;
        }
        return false;
    }

    // Whether the window shows, by SDL's event or, on X11, by the X server.
    void window_event(Uint8 what) {
        const bool hidden = what == SDL_WINDOWEVENT_HIDDEN || what == SDL_WINDOWEVENT_MINIMIZED;
        const bool shown = what == SDL_WINDOWEVENT_SHOWN || what == SDL_WINDOWEVENT_RESTORED ||
                           what == SDL_WINDOWEVENT_MAXIMIZED || what == SDL_WINDOWEVENT_EXPOSED;
        visibility seen = window_.seen();
        if (seen == visibility::unknown)
            seen = hidden ? visibility::hidden : shown ? visibility::shown : visibility::unknown;
        pacer_.update(seen, what == SDL_WINDOWEVENT_EXPOSED, sdl_.SDL_GetPerformanceCounter());
    }

    const sdl_api& sdl_;
    const settings given_;
    std::optional<script_player> script_;  // what plays instead of the keyboard
    sdl_window window_;
    frame_pacer pacer_;
    bool drawn_ = false;         // a redraw has been delivered: there is a picture to save
    bool status_layer_ = false;  // F1
    key_input typed_;            // key messages still to deliver
    int typed_at_ = 0;
};

}  // namespace

std::unique_ptr<backend> make_window_backend(const sdl_api& sdl, const settings& given,
                                             const app_params& params) {
    return std::make_unique<window_backend>(sdl, given, params);
}

std::unique_ptr<backend> make_window_backend(const settings& given, const app_params& params) {
    std::string error;
    const sdl_api* sdl = load_sdl(error);
    if (!sdl) cannot_open_window(error);
    return make_window_backend(*sdl, given, params);
}
