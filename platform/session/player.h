// A script played message by message, by the headless backend and by the window, which shows
// it at the display's pace: the messages it delivers, and its snaps saved on the way.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/session/script.h"

struct kgl_engine;

class script_player {
public:
    // Reads and checks the whole script (a KAVEX_SCRIPT value: the text, or @FILE); a bad one
    // ends the process with one line, status 2. With announce, each snap says where it went.
    script_player(const char* script, bool announce);

    // Whether the next message draws a frame (so that the window waits for its pace first).
    bool next_draws();

    // Saves the snaps that are due (the engine's image: null before there is one) and fills
    // in the next message: a close once the script has run out.
    void next(message_record& message, const kgl_engine* engine);

private:
    void snap(const script_command& command, const kgl_engine* engine);

    std::vector<script_command> commands_;
    size_t next_ = 0;
    int32_t repeated_ = 0;  // frames of the current redraw delivered so far
    bool announce_;
};
