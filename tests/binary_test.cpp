// The real program, one process per case: headless runs and their pictures, bad input, and
// start-up failures provoked through a test-only interposer.
#include <unistd.h>

#include <algorithm>

#include "support.h"

namespace {

const std::string headless = "KAVEX_PLATFORM=headless";
const std::string preload = std::string("LD_PRELOAD=") + FAULT_INJECT_PATH;

// Runs a headless script in a fresh directory and decodes the snaps it names.
struct scripted_run {
    temp_dir dir;
    run_result result;

    explicit scripted_run(const std::string& script, std::vector<std::string> env = {}) {
        env.push_back(headless);
        env.push_back("KAVEX_SCRIPT=" + script);
        result = run_program(env, dir.path);
    }
    image snap(const std::string& name) const { return read_png(dir.file(name)); }
};

rgb mix(rgb a, rgb b, double a_weight) {
    auto channel = [&](int x, int y) { return static_cast<int>(x * a_weight + y * (1 - a_weight) + 0.5); };
    return {channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b)};
}

}  // namespace

TEST(program, default_headless_run_saves_a_picture_and_says_where) {
    temp_dir dir;
    const run_result run = run_program({"KAVEX_PLATFORM=", "KAVEX_SCRIPT=", "DISPLAY=", "WAYLAND_DISPLAY="}, dir.path);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "kavex-view: ran headless and saved the picture as kavex-view.png\n");
    const image picture = read_png(dir.file("kavex-view.png"));
    EXPECT_EQ(picture.width, 320);
    EXPECT_EQ(picture.height, 240);
    EXPECT_TRUE(probe(picture, 5, 5, {26, 26, 26}));
    EXPECT_EQ(list_dir(dir.path).size(), 1u) << "no temporary file is left";
}

TEST(program, snap_is_320_by_240_top_row_first) {
    scripted_run run("redraw; snap first.png");
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    EXPECT_EQ(run.result.err, "");
    const image picture = run.snap("first.png");
    ASSERT_EQ(picture.width, 320);
    ASSERT_EQ(picture.height, 240);
    EXPECT_TRUE(probe(picture, 86, 192, {230, 51, 51}, 16));   // red corner at the bottom left
    EXPECT_TRUE(probe(picture, 85, 48, {26, 26, 26}, 16));     // dark corner at the top left
}

TEST(program, nothing_after_a_close_is_run) {
    scripted_run run("redraw; close; snap late.png");
    EXPECT_EQ(run.result.status, 0) << run.result.err;
    EXPECT_FALSE(file_exists(run.dir.file("late.png")));
}

TEST(program, bad_platform_name_is_refused) {
    temp_dir dir;
    const run_result run = run_program({"KAVEX_PLATFORM=wayland"}, dir.path);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "kavex-view: KAVEX_PLATFORM must be 'window' or 'headless', not 'wayland'\n");
}

TEST(program, script_errors_stop_before_anything_runs) {
    scripted_run run("redraw; snap a.png\nkey LL");
    EXPECT_EQ(run.result.status, 2);
    EXPECT_EQ(run.result.err,
              "kavex-view: script line 2: key takes one printable character or 'space', not 'LL'\n");
    EXPECT_TRUE(list_dir(run.dir.path).empty());
}

TEST(program, unwritable_snap_fails_clearly_and_leaves_no_file) {
    scripted_run run("redraw; snap ok.png\nsnap missing/b.png\nsnap c.png");
    EXPECT_EQ(run.result.status, 2);
    EXPECT_EQ(run.result.err,
              "kavex-view: script line 2: cannot write 'missing/b.png': No such file or directory\n");
    EXPECT_EQ(list_dir(run.dir.path), std::vector<std::string>{"ok.png"});
}

TEST(program, start_up_failures_give_their_text_and_status_and_write_nothing) {
    struct {
        const char* what;
        std::vector<std::string> env;
        int status;
        const char* err;
    } cases[] = {
        {"no EGL display", {preload, "KAVEX_TEST_FAULT=display"}, 1,
         "Fatal error: Unable to intialize mesa engine\n"},
        // GLVND finds no EGL vendor library, as on a machine without Mesa.
        {"no GL driver",
         {"__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent/egl_vendor.json",
          "__EGL_VENDOR_LIBRARY_DIRS=/nonexistent"},
         1, "Fatal error: Unable to intialize mesa engine\n"},
        {"no GL context", {preload, "KAVEX_TEST_FAULT=context"}, 1,
         "Fatal error: Unable to intialize mesa context\n"},
        {"texture upload", {preload, "KAVEX_TEST_FAULT=mipmaps"}, 255,
         "Unable to create mipmaps...\n "},
    };
    for (const auto& c : cases) {
        scripted_run run("redraw; snap a.png", c.env);
        EXPECT_EQ(run.result.status, c.status) << c.what;
        EXPECT_EQ(run.result.err, c.err) << c.what;
        EXPECT_TRUE(list_dir(run.dir.path).empty()) << c.what;
    }
}

TEST(program, a_window_that_cannot_open_says_why_in_one_line) {
    const std::string suffix = "; KAVEX_PLATFORM=headless runs without a display\n";
    struct {
        std::vector<std::string> env;
        const char* why;  // SDL's words where null
    } cases[] = {
        {{"DISPLAY=", "WAYLAND_DISPLAY="}, "neither DISPLAY nor WAYLAND_DISPLAY is set"},
        // No X server there: SDL must not fall back to drawing offscreen for ever.
        {{"DISPLAY=:97", "WAYLAND_DISPLAY="}, nullptr},
    };
    for (const auto& c : cases) {
        temp_dir dir;
        std::vector<std::string> env = c.env;
        env.insert(env.end(), {"KAVEX_PLATFORM=window", "SDL_VIDEODRIVER="});
        const run_result run = run_program(env, dir.path, 20);
        EXPECT_EQ(run.status, 1) << c.env[0];
        const std::string prefix = "kavex-view: cannot open a window (";
        EXPECT_EQ(run.err.compare(0, prefix.size(), prefix), 0) << run.err;
        ASSERT_GE(run.err.size(), suffix.size()) << run.err;
        EXPECT_EQ(run.err.substr(run.err.size() - suffix.size()), suffix);
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        if (c.why) {
            EXPECT_EQ(run.err, prefix + c.why + ")" + suffix);
        }
        EXPECT_TRUE(list_dir(dir.path).empty());
    }
}

// Keys through scripts. Each run draws the same number of frames, so the box stands at the same
// angle in every picture and pixels can be compared across runs.
TEST(program_keys, t_shows_the_pattern) {
    scripted_run run("key t; redraw; snap t.png");
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    const image picture = run.snap("t.png");
    EXPECT_TRUE(probe(picture, 160, 120, {0, 0, 120}));
    EXPECT_TRUE(probe(picture, 140, 120, {240, 240, 240}));
}

TEST(program_keys, b_composites_faces_without_depth_test_and_a_adds_them) {
    scripted_run plain("redraw 5; snap plain.png");
    scripted_run blended("key b; redraw 5; snap blended.png");
    scripted_run added("key b; key a; redraw 5; snap added.png");
    ASSERT_EQ(plain.result.status + blended.result.status + added.result.status, 0);
    const rgb front = plain.snap("plain.png").at(160, 120);  // the front face alone
    const rgb background = {26, 26, 26};
    const rgb back = {51, 230, 51};  // the green back face, half opaque, drawn before the front
    // Blended: front over (back over background), each at alpha 0.5.
    const rgb behind = mix(back, background, 0.5);
    EXPECT_TRUE(probe(blended.snap("blended.png"), 160, 120, mix(front, behind, 0.5), 4));
    // Additive: each face adds half its colour to what is there.
    const rgb sum = {std::min(255, background.r + (back.r + front.r) / 2),
                     std::min(255, background.g + (back.g + front.g) / 2),
                     std::min(255, background.b + (back.b + front.b) / 2)};
    EXPECT_TRUE(probe(added.snap("added.png"), 160, 120, sum, 4));
}

TEST(program_keys, l_lights_the_faces) {
    scripted_run plain("redraw 5; snap plain.png");
    scripted_run lit("key l; redraw 5; snap lit.png");
    ASSERT_EQ(plain.result.status + lit.result.status, 0);
    const image a = plain.snap("plain.png"), b = lit.snap("lit.png");
    // The light sits up and to the right of the viewer: the front face, facing it, gets more
    // than its own colour; the background stays as it was.
    const rgb unlit = a.at(160, 120), shaded = b.at(160, 120);
    EXPECT_GT(shaded.r + shaded.g + shaded.b, unlit.r + unlit.g + unlit.b + 30)
        << "unlit " << unlit.r << " " << unlit.g << " " << unlit.b << ", lit " << shaded.r << " "
        << shaded.g << " " << shaded.b;
    EXPECT_TRUE(probe(b, 5, 5, {26, 26, 26}));
}
