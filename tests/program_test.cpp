// The program in process: where screenshots go and under which names, the script language read
// back from what its writer wrote, and the message loop's quits.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "harness/in_process.h"
#include "platform/gl/engine.h"
#include "platform/pictures/snap.h"
#include "platform/session/script.h"
#include "scene/renderer.h"
#include <gtest/gtest.h>

TEST(screenshot, goes_into_the_pictures_folder_under_a_name_no_file_has) {
    start_in_process();
    draw_scene();
    setenv("TZ", "<+0130>-1:30", 1);  // local time, 1:30 ahead of UTC
    tzset();
    const std::string home = "/tmp/kavex-test-" + std::to_string(getpid());
    // A shell command that readies the home folder (S is where the screenshot goes by default,
    // but for its .png), and where the screenshot goes. XDG_CONFIG_HOME names .c.
    const struct {
        const char *setup, *saved;
    } cases[] = {
        {"", "Pictures/kavex-view/kavex-view-20261130-133000.png"},
        {"touch $S.png $S-2.png", "Pictures/kavex-view/kavex-view-20261130-133000-3.png"},
        {"ln -s nowhere $S.png", "Pictures/kavex-view/kavex-view-20261130-133000-2.png"},
        {"printf 'XDG_PICTURES_DIR=$HOME/a\\nXDG_PICTURES_DIR=\"$HOME/My Pics\"'"
         " > .c/user-dirs.dirs",
         "My Pics/kavex-view/kavex-view-20261130-133000.png"},
        {"echo XDG_PICTURES_DIR=Pics > .config/user-dirs.dirs",
         "Pictures/kavex-view/kavex-view-20261130-133000.png"},
    };
    for (const auto& c : cases) {
        const std::string config = strstr(c.setup, ".c/") ? home + "/.c" : "";
        const std::string setup = "mkdir -p " + home + "/.c " + home + "/.config " + home +
                                  "/Pictures/kavex-view && cd " + home +
                                  " && S=Pictures/kavex-view/kavex-view-20261130-133000; " +
                                  c.setup;
        ASSERT_EQ(std::system(setup.c_str()), 0) << setup;
        std::string error;
        const saved_picture saved = take_screenshot(*static_cast<kgl_engine*>(engine), 1796040000,
                                                    home.c_str(), config.c_str(), error);
        EXPECT_EQ(saved.folder + "/" + saved.name, home + "/" + c.saved) << error;
        EXPECT_GT(std::filesystem::file_size(home + "/" + c.saved), 1000u) << c.saved;
        std::filesystem::remove_all(home);
    }
}

// A session of more frames in a row than a script line can say, then the characters the
// language keeps for itself: what the writer makes of them reads back the same.
TEST(script, reads_back_what_its_writer_wrote) {
    script_writer writer;
    std::string lines;
    message_record m{};
    m.type = GI_MSG_REDRAW;
    for (int32_t i = 0; i <= max_redraw_count; ++i) writer.add(m, lines);
    m.type = GI_MSG_KEY;
    for (const int32_t character : {int32_t{'#'}, int32_t{';'}, int32_t{' '}, 0x10FFFF}) {
        m.character = character;
        writer.add(m, lines);
    }
    writer.end(lines);
    std::vector<script_command> commands;
    std::string error;
    ASSERT_TRUE(parse_script(lines, commands, error)) << error;
    std::string read;
    for (const script_command& c : commands) read += std::to_string(c.value) + " ";
    EXPECT_EQ(read, "1000000 1 35 59 32 1114111 ") << lines;
}

TEST(message_loop, only_a_quit_for_the_application_ends_it_and_a_close_posts_one) {
    start_in_process("redraw; close; redraw 5");
    int other = 0;
    GI_post_quit(&other);  // dispatched like any other message
    run_message_loop();
    EXPECT_EQ(view_state.y_rot, 0.5f) << "one frame before the close, none after";
    message_record m;
    EXPECT_EQ(GI_wait_message(&m, 0), 1) << "the close posted a second quit";
    EXPECT_EQ(m.type, GI_MSG_REDRAW);
}
