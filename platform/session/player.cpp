#include "platform/session/player.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/runtime/errors.h"
#include "platform/session/record.h"
#include "platform/pictures/snap.h"

namespace {

// A snap never replaces the file the session is recorded into: refused before the run, and
// again at the snap, since a link may have changed meanwhile.
void refuse_record_file(const script_command& command) {
    if (command.kind == script_command::snap && is_record_file(command.path))
        fail(2, "script line %d: snap %s would replace the record of this session", command.line,
             quoted(command.path).c_str());
}

}  // namespace

script_player::script_player(const char* script, bool announce) : announce_(announce) {
    try {
        std::string text, error;
        if (!load_script(script, text, error)) fail(2, "%s", error.c_str());
        if (!parse_script(text, commands_, error)) fail(2, "%s", error.c_str());
    } catch (const std::bad_alloc&) {
        release_reserve();
        if (script[0] == '@')
            fail(2, "cannot read script file %s: %s", quoted(script + 1).c_str(), strerror(ENOMEM));
        fail(2, "cannot read the script: %s", strerror(ENOMEM));
    }
    for (const script_command& command : commands_) refuse_record_file(command);
}

bool script_player::next_draws() {
    for (size_t at = next_; at < commands_.size(); ++at) {
        const script_command& command = commands_[at];
        const int32_t delivered = at == next_ ? repeated_ : 0;
        if (command.kind == script_command::redraw ? command.value > delivered
                                                   : command.kind != script_command::snap)
            return draws_frame(command);
    }
    return false;
}

void script_player::next(message_record& message, const kgl_engine* engine) {
    while (next_ < commands_.size()) {
        const script_command& command = commands_[next_];
        if (command.kind == script_command::redraw && repeated_ < command.value) {
            ++repeated_;
            message.type = GI_MSG_REDRAW;
            return;
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
            return;
        case script_command::code:
            message.type = GI_MSG_KEY;
            message.code = static_cast<uint16_t>(command.value);
            return;
        case script_command::message:
            message.type = command.value;
            return;
        case script_command::close:
            message.type = GI_MSG_CLOSE;
            return;
        }
    }
    message.type = GI_MSG_CLOSE;
}

void script_player::snap(const script_command& command, const kgl_engine* engine) {
    if (!engine) fail(2, "script line %d: no image to snap yet", command.line);
    refuse_record_file(command);
    std::string error;
    if (!snap_engine(*engine, command.path, error))
        fail(2, "script line %d: %s", command.line, error.c_str());
    if (announce_)
        fprintf(stderr, "%s: ran headless and saved the picture as %s\n",
                program_invocation_short_name, command.path.c_str());
}
