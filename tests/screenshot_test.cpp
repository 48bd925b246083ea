// Where screenshots go and under which names.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "harness/in_process.h"
#include "platform/gl/engine.h"
#include "platform/pictures/snap.h"
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
