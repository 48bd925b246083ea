// The headless backend: no display and no SDL. Messages come from the script in KAVEX_SCRIPT;
// `snap` saves the engine's image as a PNG. When the script runs out, it delivers a close.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/engine.h"
#include "platform/errors.h"
#include "platform/runtime.h"
#include "platform/script.h"
#include "platform/snap.h"

namespace {

constexpr const char* default_script = "redraw 90; snap kavex-view.png";

class headless_backend final : public backend {
public:
    headless_backend() {
        const char* value = env_value("KAVEX_SCRIPT");
        announce_ = value == nullptr;
        std::string text, error;
        if (!load_script(value ? value : default_script, text, error)) fail(2, "%s", error.c_str());
        if (!parse_script(text, commands_, error)) fail(2, "%s", error.c_str());
    }

    bool next_message(message_record& message, const kgl_engine* engine) override {
        while (next_ < commands_.size()) {
            const script_command& command = commands_[next_];
            if (command.kind == script_command::redraw && repeated_ < command.value) {
                ++repeated_;
                message.type = GI_MSG_REDRAW;
                return true;
            }
            ++next_;
            repeated_ = 0;
            switch (command.kind) {
            case script_command::redraw:
                continue;
            case script_command::snap:
                snap(command, engine);
                continue;
            case script_command::key:
                message.type = GI_MSG_KEY;
                message.character = command.value;
                return true;
            case script_command::code:
                message.type = GI_MSG_KEY;
                message.code = static_cast<uint16_t>(command.value);
                return true;
            case script_command::message:
                message.type = command.value;
                return true;
            case script_command::close:
                message.type = GI_MSG_CLOSE;
                return true;
            }
        }
        message.type = GI_MSG_CLOSE;
        return true;
    }

    void present(const kgl_engine&) override {}
    void message_box(const char*, const char*) override {}
    void destroy_window() override {}

private:
    void snap(const script_command& command, const kgl_engine* engine) {
        if (!engine) fail(2, "script line %d: no image to snap yet", command.line);
        std::string error;
        if (!snap_engine(*engine, command.path, error))
            fail(2, "script line %d: %s", command.line, error.c_str());
        if (announce_)
            fprintf(stderr,
                    "%s: ran headless and saved the picture as %s\n",
                    program_invocation_short_name, command.path.c_str());
    }

    std::vector<script_command> commands_;
    size_t next_ = 0;
    int32_t repeated_ = 0;
    bool announce_;
};

}  // namespace

std::unique_ptr<backend> make_headless_backend() { return std::make_unique<headless_backend>(); }
