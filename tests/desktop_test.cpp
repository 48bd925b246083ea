// The real program on a real display: a private Xvfb per case, driven as a user and a window
// manager would, through Xlib and XTest. Every wait is for a condition, with a generous deadline.
#include "support.h"  // before Xlib, whose macros clash with GoogleTest

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <thread>

namespace {

const char* const title = "Kavex Mesa/OpenGL View";

class desktop : public ::testing::Test {
protected:
    void TearDown() override {
        end_process(program_, SIGKILL);
        if (display_) XCloseDisplay(display_);
        end_process(server_, SIGTERM);
    }

    // Xvfb picks a free display itself and writes its number once it listens.
    void start_x() {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        server_ = spawn({{"/usr/bin/Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                          "1024x768x24", "-nolisten", "tcp"}, {}, "", -1, -1});
        close(ready[1]);
        std::string number;
        pollfd fd{ready[0], POLLIN, 0};
        for (char c; poll(&fd, 1, 20000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n';) number += c;
        close(ready[0]);
        ASSERT_NE(number, "") << "Xvfb did not start";
        display_name_ = ":" + number;
        ASSERT_TRUE(display_ = XOpenDisplay(display_name_.c_str()));
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // windows may vanish
    }

    void start_program(std::vector<std::string> env = {}) {
        env.insert(env.begin(), {"DISPLAY=" + display_name_, "KAVEX_PLATFORM", "KAVEX_RECORD", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"});
        const int err = open(dir_.file("stderr").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        program_ = spawn({{KAVEX_VIEW_PATH}, env, dir_.path, err});
        close(err);
    }

    // The program's window, wherever a window manager has put it.
    Window find_window(Window under) {
        char* name = nullptr;
        const bool ours = XFetchName(display_, under, &name) && name && std::string(name) == title;
        XFree(name);
        if (ours) return under;
        Window root, parent, *children = nullptr, found = 0;
        unsigned count = 0;
        if (XQueryTree(display_, under, &root, &parent, &children, &count))
            for (unsigned i = 0; i < count && !found; ++i) found = find_window(children[i]);
        if (children) XFree(children);
        return found;
    }

    void await_window() {
        ASSERT_TRUE(eventually([&] { return (window_ = find_window(DefaultRootWindow(display_))) != 0; }, 30))
            << "no window titled \"" << title << "\"; stderr: " << err();
        XWindowAttributes a;
        ASSERT_TRUE(eventually([&] { return XGetWindowAttributes(display_, window_, &a) && a.map_state == IsViewable; }, 30));
        XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
        XSync(display_, False);
    }

    image grab(Window w, int width = 320, int height = 240, int x = 0, int y = 0) {
        image result{width, height, {}};
        XImage* shot = XGetImage(display_, w, x, y, width, height, AllPlanes, ZPixmap);
        if (!shot) return {};
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column) {
                const unsigned long pixel = XGetPixel(shot, column, row);
                for (unsigned long mask : {shot->red_mask, shot->green_mask, shot->blue_mask})
                    result.rgb.push_back(static_cast<uint8_t>(pixel / (mask & ~(mask << 1)) & 0xFF));
            }
        XDestroyImage(shot);
        return result;
    }

    void key(KeySym symbol, int times = 1) {
        for (int i = 0; i < times; ++i)
            for (bool down : {true, false})
                XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, symbol), down, CurrentTime);
        XSync(display_, False);
    }

    // What a window manager sends when the user closes the window.
    void ask_to_close() {
        XEvent e{};
        e.xclient = {ClientMessage, 0, True, display_, window_, XInternAtom(display_, "WM_PROTOCOLS", False), 32, {}};
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
        XSendEvent(display_, window_, False, NoEventMask, &e);
        XSync(display_, False);
    }

    // The picture stands still: the same over a tenth of a second, three times running.
    bool still() {
        int same = 0;
        return eventually([&] {
            const image a = grab(window_);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return (same = grab(window_).rgb == a.rgb ? same + 1 : 0) == 3;
        }, 30);
    }

    std::string err() const { return read_file(dir_.file("stderr")); }

    temp_dir dir_;
    std::string display_name_;
    pid_t server_ = -1, program_ = -1;
    Display* display_ = nullptr;
    Window window_ = 0;
};

int count(const image& picture, bool (*match)(const uint8_t*)) {
    int n = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) n += match(picture.at(x, y));
    return n;
}
bool pattern_blue(const uint8_t* p) { return p[0] < 4 && p[1] < 4 && p[2] > 116 && p[2] < 124; }
bool covered(const uint8_t* p) { return p[0] != 26 || p[1] != 26 || p[2] != 26; }

}  // namespace

TEST_F(desktop, x11_window_shows_the_box_takes_keys_and_closes) {
    ASSERT_NO_FATAL_FAILURE(start_x());
    ASSERT_NO_FATAL_FAILURE(start_program());
    ASSERT_NO_FATAL_FAILURE(await_window());
    XWindowAttributes a;
    Window child;
    int x = 0, y = 0;
    XGetWindowAttributes(display_, window_, &a);
    XTranslateCoordinates(display_, window_, a.root, 0, 0, &x, &y, &child);
    EXPECT_EQ(std::vector<int>({x, y, a.width, a.height}), std::vector<int>({200, 60, 320, 240}));
    EXPECT_TRUE(eventually([&] { return covered(grab(window_).at(160, 120)); }, 30)) << "no box";
    key(XK_t);
    EXPECT_TRUE(eventually([&] { return count(grab(window_), pattern_blue) > 100; }, 30)) << "t shows no pattern";
    key(XK_space);
    EXPECT_TRUE(still()) << "space does not stop the spin";
    const int near = count(grab(window_), covered);
    key(XK_Page_Up, 10);  // 5.5 units away instead of 5: about (5 / 5.5)^2 of the area
    EXPECT_TRUE(eventually([&] { return count(grab(window_), covered) < near * 0.9; }, 30)) << "Page Up does not move it away";
    ask_to_close();
    EXPECT_EQ(wait_for_exit(program_, 30), 0);
    EXPECT_EQ(err(), "");
}

TEST_F(desktop, a_lost_display_ends_the_program_with_one_line) {
    ASSERT_NO_FATAL_FAILURE(start_x());
    ASSERT_NO_FATAL_FAILURE(start_program());
    ASSERT_NO_FATAL_FAILURE(await_window());
    XCloseDisplay(display_);
    display_ = nullptr;
    end_process(server_, SIGTERM);
    EXPECT_EQ(wait_for_exit(program_, 30), 1);
    EXPECT_EQ(err(), "kavex-view: lost the connection to the display\n");
}

TEST_F(desktop, a_recorded_session_replays_headless_to_the_last_picture) {
    ASSERT_NO_FATAL_FAILURE(start_x());
    ASSERT_NO_FATAL_FAILURE(start_program({"KAVEX_RECORD=" + dir_.file("session")}));
    ASSERT_NO_FATAL_FAILURE(await_window());
    for (KeySym symbol : {XK_t, XK_m, XK_Left, XK_Page_Down, XK_b, XK_Up, XK_space}) key(symbol);
    // The record has the space once every key before it has been drawn (new switch states take
    // llvmpipe a while to compile, and the picture stands still meanwhile); then it stands still.
    ASSERT_TRUE(eventually([&] { return read_file(dir_.file("session")).find("\nkey space\n") != std::string::npos; }, 30));
    ASSERT_TRUE(still()) << "space does not stop the spin";
    const image shown = grab(window_);
    ask_to_close();
    ASSERT_EQ(wait_for_exit(program_, 30), 0) << err();
    std::string record = read_file(dir_.file("session"));
    for (const char* line : {"\nkey t\n", "\nkey m\n", "\ncode 100\n", "\ncode 53\n", "\nkey b\n", "\ncode 98\n", "\nkey space\n"})
        EXPECT_NE(record.find(line), std::string::npos) << line << " is not in " << record;
    ASSERT_EQ(record.substr(record.size() - 6), "close\n") << record;
    std::ofstream(dir_.file("replay")) << record.replace(record.size() - 6, 6, "snap replay.png\n");
    pid_t replay = spawn({{KAVEX_VIEW_PATH}, {"KAVEX_PLATFORM=headless", "KAVEX_SCRIPT=@replay", "KAVEX_RECORD"}, dir_.path});
    ASSERT_EQ(wait_for_exit(replay, 60), 0);
    EXPECT_TRUE(same_picture(shown, read_png(dir_.file("replay.png")), "replay", 0)) << record;
}
