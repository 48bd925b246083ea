// The headless backend: no display and no SDL. Messages come from the script, whose `snap`
// saves the engine's image as a PNG; when the script runs out, it delivers a close.
#include "platform/gui/backend.h"
#include "platform/runtime/settings.h"
#include "platform/session/player.h"

namespace {

// Without a script: a picture of the box as it starts, and a line that says where it went.
constexpr const char* default_script = "redraw 90; snap kavex-view.png";

class headless_backend final : public backend {
public:
    explicit headless_backend(const char* script)
        : script_(script ? script : default_script, script == nullptr) {}

    bool next_message(message_record& message, const kgl_engine* engine) override {
        script_.next(message, engine);
        return true;
    }

    void present(const kgl_engine&) override {}
    void message_box(const char*, const char*) override {}
    void destroy_window() override {}

private:
    script_player script_;
};

}  // namespace

std::unique_ptr<backend> make_headless_backend(const settings& given) {
    return std::make_unique<headless_backend>(given.script);
}
