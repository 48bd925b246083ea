// The script language: the headless backend's script (the messages to deliver and the frames
// to save, one command per line or per ';', '#' comments to the end of the line), read here, and
// written here too, by the record of a session.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

// The most frames one `redraw` draws.
constexpr int32_t max_redraw_count = 1000000;
// The largest key character, written `key U+1FFFFF`: room for every character a four-byte UTF-8
// sequence holds, so every character the window delivers can be written.
constexpr int32_t max_key_character = 0x1FFFFF;

struct script_command {
    enum kind_t { redraw, key, code, message, close, snap } kind;
    int32_t value;     // redraw: count; key: character; code: key code; message: type
    std::string path;  // snap
    int line;
};

// Whether the command has the application draw a frame: a redraw, and key messages without a
// character (which the key bindings answer with a frame).
bool draws_frame(const script_command& command);

// Parses the whole script (a UTF-8 byte order mark at its very start is skipped). On error
// returns false with "script line N: <what is wrong>".
bool parse_script(std::string_view text, std::vector<script_command>& commands,
                  std::string& error);

// The script text a KAVEX_SCRIPT value stands for: the value itself, or with a leading '@',
// the contents of the file it names (at most 1 MiB). On error returns false with the reason.
bool load_script(const char* value, std::string& text, std::string& error);

// Messages as the script lines that deliver them again. Consecutive redraws make one
// `redraw N` line, held back until a message of another kind arrives or the script ends.
class script_writer {
public:
    // Appends the lines that are complete once this message has arrived.
    void add(const message_record& message, std::string& lines);
    // Appends the redraws held back.
    void end(std::string& lines);
    // Appends the redraws held back and a `snap` of the path.
    void snap(const std::string& path, std::string& lines);

private:
    int32_t redraws_ = 0;
};
