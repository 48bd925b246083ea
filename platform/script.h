// The headless backend's script: the messages to deliver and the frames to save, one command
// per line or per ';', '#' comments to the end of the line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// Parses the whole script. On error returns false with "script line N: <what is wrong>".
bool parse_script(std::string_view text, std::vector<script_command>& commands,
                  std::string& error);

// The script text a KAVEX_SCRIPT value stands for: the value itself, or with a leading '@',
// the contents of the file it names (at most 1 MiB). On error returns false with the reason.
bool load_script(const char* value, std::string& text, std::string& error);
