// The headless script language: what parses to what, and how errors are reported.
#include <fstream>

#include "platform/script.h"
#include "support.h"

namespace {

std::string describe(const std::vector<script_command>& commands) {
    const char* names[] = {"redraw", "key", "code", "message", "close", "snap"};
    std::string out;
    for (const auto& c : commands) {
        if (!out.empty()) out += ", ";
        out += names[c.kind];
        out += c.kind == script_command::snap ? " " + c.path : " " + std::to_string(c.value);
    }
    return out;
}

}  // namespace

TEST(script, valid_scripts) {
    struct {
        const char* text;
        const char* parsed;
    } cases[] = {
        {"", ""},
        {"  # only a comment\n\n ; ;", ""},
        {"redraw", "redraw 1"},
        {"redraw 90; snap kavex-view.png", "redraw 90, snap kavex-view.png"},
        {"key l\nkey space;key ~", "key 108, key 32, key 126"},
        {"code 0; code 65535; code 53", "code 0, code 65535, code 53"},
        {"message -2147483648; message 2147483647; message +5", "message -2147483648, message 2147483647, message 5"},
        {"close # done", "close 0"},
        {"snap  my picture.png  ", "snap my picture.png"},
        {"\tredraw\t0\r\n", "redraw 0"},
    };
    for (const auto& c : cases) {
        std::vector<script_command> commands;
        std::string error;
        ASSERT_TRUE(parse_script(c.text, commands, error)) << c.text << ": " << error;
        EXPECT_EQ(describe(commands), c.parsed) << c.text;
    }
}

TEST(script, errors_name_the_line_and_the_problem) {
    struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"jump", "script line 1: unknown command 'jump' (commands: redraw, key, code, message, close, snap)"},
        {"redraw\nredraw -1", "script line 2: redraw count must be a whole number from 0 to 1000000, not '-1'"},
        {"redraw 1000001", "script line 1: redraw count must be a whole number from 0 to 1000000, not '1000001'"},
        {"redraw 1 2", "script line 1: redraw count must be a whole number from 0 to 1000000, not '1 2'"},
        {"\n\nkey", "script line 3: key takes one printable character or 'space', not ''"},
        {"key ab", "script line 1: key takes one printable character or 'space', not 'ab'"},
        {"key #", "script line 1: key takes one printable character or 'space', not ''"},
        {"code 65536", "script line 1: code takes a key code from 0 to 65535, not '65536'"},
        {"code -1", "script line 1: code takes a key code from 0 to 65535, not '-1'"},
        {"message 2147483648", "script line 1: message takes a message type (a 32-bit integer), not '2147483648'"},
        {"message x", "script line 1: message takes a message type (a 32-bit integer), not 'x'"},
        {"close now", "script line 1: close takes no argument"},
        {"redraw; snap", "script line 1: snap needs a file name"},
        {"REDRAW", "script line 1: unknown command 'REDRAW' (commands: redraw, key, code, message, close, snap)"},
        {"red\x01raw", "script line 1: unknown command 'red?raw' (commands: redraw, key, code, message, close, snap)"},
    };
    for (const auto& c : cases) {
        std::vector<script_command> commands;
        std::string error;
        EXPECT_FALSE(parse_script(c.text, commands, error)) << c.text;
        EXPECT_EQ(error, c.error);
    }
}

TEST(script, at_sign_reads_the_script_from_a_file) {
    temp_dir dir;
    std::string text, error;
    ASSERT_TRUE(load_script("redraw 2", text, error));
    EXPECT_EQ(text, "redraw 2");

    std::ofstream(dir.file("ok.txt")) << "redraw 2\nsnap a.png\n";
    ASSERT_TRUE(load_script(("@" + dir.file("ok.txt")).c_str(), text, error)) << error;
    EXPECT_EQ(text, "redraw 2\nsnap a.png\n");
    // The files it refuses are tried on the real binary (faults_test.cpp).
}
