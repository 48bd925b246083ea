// The headless backend: no display and no SDL. Messages come from the script in KAVEX_SCRIPT;
// `snap` saves the engine's image as a PNG. When the script runs out, it delivers a close.
#include <GL/gl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/engine.h"
#include "platform/errors.h"
#include "platform/png_writer.h"
#include "platform/recorder.h"
#include "platform/runtime.h"
#include "platform/script.h"
#include "platform/settings.h"
#include "platform/snap.h"

namespace {

constexpr const char* default_script = "redraw 90; snap kavex-view.png";

class headless_backend final : public backend {
public:
    headless_backend() {
        const char* value = setting_value("KAVEX_SCRIPT");
        announce_ = value == nullptr;
        try {
            std::string text, error;
            if (!load_script(value ? value : default_script, text, error))
                fail(2, "%s", error.c_str());
            if (!parse_script(text, commands_, error)) fail(2, "%s", error.c_str());
        } catch (const std::bad_alloc&) {
            release_reserve();
            if (value && value[0] == '@')
                fail(2, "cannot read script file %s: %s", quoted(value + 1).c_str(),
                     strerror(ENOMEM));
            fail(2, "cannot read the script: %s", strerror(ENOMEM));
        }
        for (const script_command& command : commands_) refuse_record_file(command);
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
    // A snap never replaces the file the session is recorded into: refused before the run, and
    // again at the snap, since a link may have changed meanwhile.
    static void refuse_record_file(const script_command& command) {
        if (command.kind == script_command::snap && is_record_file(command.path))
            fail(2, "script line %d: snap %s would replace the record of this session",
                 command.line, quoted(command.path).c_str());
    }

    void snap(const script_command& command, const kgl_engine* engine) {
        if (!engine) fail(2, "script line %d: no image to snap yet", command.line);
        refuse_record_file(command);
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
